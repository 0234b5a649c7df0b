// Painting of the text view: the only place where nodes meet QPainter.
#include "richview/RichPainting.h"

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

PainterCanvas::PainterCanvas(QPainter& painter, const ViewFonts& fonts, const TFontAttrs& baseAttrs,
                             const PictureCache& pictures)
    : m_painter(painter), m_fonts(fonts), m_baseAttrs(baseAttrs), m_pictures(pictures), m_current(&baseAttrs),
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
    // What the parse found and loaded; a name it did not find draws nothing.
    const QImage image = m_pictures.Image(item.Text, item.ItemType == TItemType::TransparentPicture);
    if (!image.isNull())
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
