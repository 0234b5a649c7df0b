// Fonts, measuring and painting of the text view: the only place where nodes meet QPainter and QFont.
#include "richview/RichPainting.h"

#include "richview/RichViewContext.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <algorithm>

namespace tevro {

QColor ToQColor(Color32 color) {
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

Color32 FromQColor(const QColor& color) {
    return RgbColor(color.red(), color.green(), color.blue());
}

void ViewFonts::SetBase(const QFont& font, const TFontAttrs& attrs) {
    m_font = font;
    m_attrs = attrs;
}

QFont ViewFonts::FontFor(const TFontAttrs& attrs) const {
    if (attrs.Name != m_attrs.Name || attrs.Pitch != m_attrs.Pitch || attrs.Size != m_attrs.Size)
        return FontFromAttrs(attrs);
    QFont font = m_font;
    font.setBold(attrs.Style.testFlag(fsBold));
    font.setItalic(attrs.Style.testFlag(fsItalic));
    font.setUnderline(attrs.Style.testFlag(fsUnderline));
    font.setStrikeOut(attrs.Style.testFlag(fsStrikeOut));
    return font;
}

void ViewFonts::DescribeFont(const QFont& font, TFontAttrs& attrs) {
    attrs.Name = font.family().left(32);
    attrs.Pitch = font.fixedPitch() ? fpFixed : fpDefault;
    // A font given in pixels has no point size of its own; take the one it is shown at.
    attrs.Size = font.pointSize() > 0 ? font.pointSize() : qRound(QFontInfo(font).pointSizeF());
    TFontStyles style;
    style.setFlag(fsBold, font.bold());
    style.setFlag(fsItalic, font.italic());
    style.setFlag(fsUnderline, font.underline());
    style.setFlag(fsStrikeOut, font.strikeOut());
    attrs.Style = style;
}

void ViewMeasurer::ApplyAttrs(const TFontAttrs& attrs) {
    // Every line starts with a font node of its own, mostly with the base attributes: skip rebuilding.
    if (m_attrs && *m_attrs == attrs)
        return;
    m_attrs = attrs;
    m_metrics = QFontMetrics(m_fonts.FontFor(attrs));
}

QSize ViewMeasurer::TextExtent(const QString& text) {
    return {m_metrics.horizontalAdvance(text), m_metrics.height()};
}

PainterCanvas::PainterCanvas(QPainter& painter, const ViewFonts& fonts, const TFontAttrs& baseAttrs)
    : m_painter(painter), m_fonts(fonts), m_baseAttrs(baseAttrs), m_current(&baseAttrs),
      m_metrics(painter.font()) {}

void PainterCanvas::ApplyAttrs(const TFontAttrs& attrs) {
    m_current = &attrs;
}

void PainterCanvas::RealizeFont() {
    if (m_realized != nullptr && (m_realized == m_current || *m_realized == *m_current))
        return;
    const QFont font = m_fonts.FontFor(*m_current);
    m_painter.setFont(font);
    m_metrics = QFontMetrics(font, m_painter.device());
    m_realized = m_current;
}

void PainterCanvas::DrawText(int x, int top, const ItemNode& item) {
    RealizeFont();
    // A back colour other than the base one fills the text's cell; the base one means none.
    if (m_current->BackColor != m_baseAttrs.BackColor) {
        m_painter.fillRect(QRect(x, top, m_metrics.horizontalAdvance(item.Text), m_metrics.height()),
                           ToQColor(m_current->BackColor));
    }
    m_painter.setPen(ToQColor(m_current->ForeColor));
    m_painter.drawText(x, top + m_metrics.ascent(), item.Text);
}

void PainterCanvas::DrawPicture(int x, int top, const ItemNode& item) {
    // Loaded on every draw, as only visible pictures are drawn; a file that is not a picture draws nothing.
    const std::optional<PictureRef> ref = FindPicture(item.Text);
    if (!ref)
        return;
    QImage image(ref->path);
    if (image.isNull())
        return;
    if (item.ItemType == TItemType::TransparentPicture) {
        // The colour of the bottom-left pixel is the one that lets the background through.
        const QRgb key = image.pixel(0, image.height() - 1);
        image = image.convertToFormat(QImage::Format_ARGB32);
        for (int row = 0; row < image.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
            for (int col = 0; col < image.width(); ++col) {
                if (line[col] == key)
                    line[col] = qRgba(0, 0, 0, 0);
            }
        }
    }
    m_painter.drawImage(x, top, image);
}

void PainterCanvas::DrawRule(int x, int y, const ItemNode& item) {
    if (!item.Text.isEmpty()) {
        const char16_t code = item.Text.front().unicode();
        if (code >= 1 && code <= 9)
            m_penWidth = code;
    }
    QPen pen(ToQColor(m_current->ForeColor));
    pen.setWidth(m_penWidth);
    pen.setCapStyle(Qt::FlatCap);
    m_painter.setPen(pen);
    const qint64 end = std::clamp<qint64>(qint64(x) + item.Width, -(qint64(1) << 30), qint64(1) << 30);
    m_painter.drawLine(x, y, static_cast<int>(end), y);
}

} // namespace tevro
