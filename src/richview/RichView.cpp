// TRichView: document operations, the change sequence, scrolling, painting and the widget's events.
#include "richview/RichView.h"

#include "common/Resources.h"
#include "richview/ExScrollBar.h"
#include "richview/MarkupParser.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

using namespace tevro;

TRichView::TRichView(QWidget* parent) : QWidget(parent) {
    SetColor(Qt::white);
    resize(105, 105);
    // All drawing happens in paint, which covers the whole text area: nothing to erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);

    m_scrollBar = new TExScrollBar(Qt::Vertical, this);
    m_scrollBar->setEnabled(false);
    m_scrollBar->setRange(0, 0);
    m_scrollBar->setFocusPolicy(focusPolicy());
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar);
    m_scrollBar->setGeometry(width() - barWidth, 0, barWidth, height());
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &TRichView::InvalidateText);

    // The desktop's sans-serif face at 11 pixels is what the program's pixel layout was made for.
    QFont base(QStringLiteral("Sans Serif"));
    base.setStyleHint(QFont::SansSerif);
    base.setPixelSize(11);
    m_measurer = std::make_unique<ViewMeasurer>(m_fonts);
    setFont(base);
    FontChanged();
    // Colour is set to white above, but the colour that means "no background" starts as the system's
    // window colour and follows the control's colour only when that changes again.
    const QPalette system = QApplication::palette();
    m_baseAttrs.BackColor = FromQColor(system.color(QPalette::Base));
    m_baseAttrs.ForeColor = FromQColor(system.color(QPalette::Text));
    m_fonts.SetBase(font(), m_baseAttrs);
}

TRichView::~TRichView() = default;

void TRichView::AddText(const QString& text) {
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1String("\r\n"), start);
        if (end < 0)
            end = text.size();
        const QString line = text.mid(start, end - start);
        start = end + 2;
        m_lastEmpty = line.isEmpty() || line.compare(QLatin1String("<p>"), Qt::CaseInsensitive) == 0;
        ParseLine(*this, line);
    }
    ContentChanged(LaidOutHeight());
}

void TRichView::Clear() {
    m_document.Clear();
    ContentChanged(0);
}

bool TRichView::LoadFromResource(const QString& name, QString* error) {
    bool found = false;
    const QByteArray bytes = ResourceData(name, &found);
    if (!found) {
        if (error != nullptr)
            *error = QStringLiteral("There is no resource named \"%1\".").arg(name);
        return false;
    }
    // A line ends at CR LF, CR or LF; each is laid out and announced on its own.
    const QString text = QString::fromUtf8(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        AddText(text.mid(start, end - start));
        if (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
    return true;
}

void TRichView::GoFirst() {
    if (BarEnabled() && m_scrollBar->value() > 0) {
        m_scrollBar->setValue(0);
        InvalidateText();
    }
}

void TRichView::GoLast() {
    if (BarEnabled() && m_scrollBar->value() < m_scrollBar->maximum()) {
        m_scrollBar->setValue(m_scrollBar->maximum());
        InvalidateText();
    }
}

void TRichView::DeleteParagraph(qint32 number) {
    m_document.RemoveParagraph(number);
    ContentChanged(LaidOutHeight());
}

qint32 TRichView::DocumentSize() const {
    constexpr qint64 kNodeSize = 102;
    return static_cast<qint32>(std::min<qint64>(kNodeSize * m_document.Count(), INT32_MAX));
}

void TRichView::SetAutoGoLast(bool on) {
    if (on == m_autoGoLast)
        return;
    m_autoGoLast = on;
    if (on)
        GoLast();
}

void TRichView::SetShowHidden(bool on) {
    if (on == m_showHidden)
        return;
    m_showHidden = on;
    ContentChanged(LaidOutHeight());
}

void TRichView::SetBackground(const QPixmap& tile) {
    m_background = tile;
    InvalidateText();
}

QColor TRichView::Color() const {
    return palette().color(QPalette::Window);
}

void TRichView::SetColor(const QColor& color) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, color);
    setPalette(pal);
}

void TRichView::SetMeasurer(std::unique_ptr<TextMeasurer> measurer) {
    m_measurer = std::move(measurer);
    FontChanged();
}

bool TRichView::BarEnabled() const {
    return m_scrollBar->isEnabledTo(this);
}

int TRichView::BarWidth() const {
    return m_scrollBar->width();
}

LayoutMetrics TRichView::Metrics() const {
    LayoutMetrics metrics;
    metrics.avail = width() - BarWidth();
    metrics.height = height();
    metrics.lineHeight = m_lineHeight;
    metrics.pos = BarEnabled() ? m_scrollBar->value() : 0;
    metrics.showHidden = m_showHidden;
    return metrics;
}

int TRichView::LayoutPass(bool paint) {
    if (!paint)
        return tevro::LayoutPass(m_document, Metrics(), nullptr);
    if (!m_painting) {
        // The widget can only be drawn on during a paint event: have one come.
        InvalidateText();
        return tevro::LayoutPass(m_document, Metrics(), nullptr);
    }

    const LayoutMetrics metrics = Metrics();
    const QSize size(std::max(metrics.avail + 1, 1), std::max(height(), 1));
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(size * ratio);
    buffer.setDevicePixelRatio(ratio);
    int contentHeight = 0;
    {
        QPainter painter(&buffer);
        painter.fillRect(QRect(QPoint(0, 0), size), ToQColor(m_baseAttrs.BackColor));
        if (!m_background.isNull()) {
            // Panning starts the tiles at -(position mod tile height), so they move with the text.
            const int tileHeight = std::max(1, qRound(m_background.deviceIndependentSize().height()));
            const int offset = m_panBackground ? metrics.pos % tileHeight : 0;
            painter.drawTiledPixmap(QRect(QPoint(0, 0), size), m_background, QPoint(0, offset));
        }
        PainterCanvas canvas(painter, m_fonts, m_baseAttrs, m_pictures);
        contentHeight = tevro::LayoutPass(m_document, metrics, &canvas);
    }
    QPainter(this).drawPixmap(0, 0, buffer);
    return contentHeight;
}

int TRichView::LaidOutHeight() {
    return m_contentHeight.Of(m_document, Metrics());
}

void TRichView::UpdateScrollRange(int contentHeight) {
    if (contentHeight > height()) {
        const int line = std::max(m_lineHeight, 1);
        // Steps are 16-bit values; a page is one line less than fits, in whole lines.
        const int page = (height() / line) * line - line;
        m_scrollBar->setRange(0, contentHeight - height());
        m_scrollBar->setSingleStep(std::clamp(line, 1, 32767));
        m_scrollBar->setPageStep(std::clamp(page, 1, 32767));
        if (!BarEnabled())
            m_scrollBar->setEnabled(true);
    } else {
        m_scrollBar->setRange(0, 0);
        m_scrollBar->setValue(0);
        if (BarEnabled())
            m_scrollBar->setEnabled(false);
    }
}

void TRichView::InvalidateText() {
    update(0, 0, std::max(width() - BarWidth(), 0), height());
}

void TRichView::ContentChanged(int contentHeight) {
    UpdateScrollRange(contentHeight);
    // While the user holds the bar, new text must not pull the view away from what they look at.
    if (m_autoGoLast && BarEnabled() && !m_scrollBar->Pressed())
        m_scrollBar->setValue(m_scrollBar->maximum());
    Q_EMIT OnChange(this);
    InvalidateText();
}

void TRichView::FontChanged() {
    ViewFonts::DescribeFont(font(), m_baseAttrs);
    m_baseAttrs.ForeColor = FromQColor(palette().color(QPalette::WindowText));
    m_fonts.SetBase(font(), m_baseAttrs);
    if (m_measurer == nullptr)
        return;
    if (auto* own = dynamic_cast<ViewMeasurer*>(m_measurer.get()))
        own->Reset();
    m_measurer->ApplyAttrs(m_baseAttrs);
    const QSize x = m_measurer->TextExtent(QStringLiteral("X"));
    m_charWidth = x.width();
    m_lineHeight = x.height();
}

void TRichView::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    m_painting = true;
    LayoutPass(true);
    m_painting = false;
}

void TRichView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar);
    m_scrollBar->setGeometry(width() - barWidth, 0, barWidth, height());
    UpdateScrollRange(LaidOutHeight());
}

void TRichView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        // Qt keeps the font's colour in the palette, next to the control's colour.
        m_baseAttrs.BackColor = FromQColor(Color());
        m_baseAttrs.ForeColor = FromQColor(palette().color(QPalette::WindowText));
    } else if (event->type() == QEvent::FontChange) {
        FontChanged();
    }
}

void TRichView::wheelEvent(QWheelEvent* event) {
    // Users expect the wheel over the text to scroll it; the bar does the stepping.
    if (BarEnabled())
        QCoreApplication::sendEvent(m_scrollBar, event);
    else
        event->ignore();
}
