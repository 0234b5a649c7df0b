// TRichView: document operations, the change sequence, scrolling and the widget's event handling.
#include "richview/RichView.h"

#include "common/Resources.h"
#include "richview/ExScrollBar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

TRichView::TRichView(QWidget* parent) : QWidget(parent) {
    SetColor(Qt::white);
    resize(105, 105);
    // All drawing happens in paint, which covers the whole text area: no erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);

    m_scrollBar = new TExScrollBar(Qt::Vertical, this);
    m_scrollBar->setEnabled(false);
    m_scrollBar->setRange(0, 0);
    m_scrollBar->setFocusPolicy(focusPolicy());
    m_scrollBar->setGeometry(width() - BarWidth(), 0, BarWidth(), height());
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &TRichView::InvalidateText);
}

TRichView::~TRichView() = default;

void TRichView::AddText(const QString& text) {
    QStringView rest(text);
    while (!rest.isEmpty()) {
        const qsizetype end = rest.indexOf(u"\r\n");
        const QStringView line = end < 0 ? rest : rest.left(end);
        rest = end < 0 ? QStringView() : rest.mid(end + 2);
        m_lastEmpty = line.isEmpty() || line.compare(u"<p>", Qt::CaseInsensitive) == 0;
    }
    ContentChanged(LayoutPass(false));
}

void TRichView::Clear() {
    ContentChanged(0);
}

bool TRichView::LoadFromResource(const QString& name, QString* error) {
    bool found = false;
    const QByteArray bytes = tevro::ResourceData(name, &found);
    if (!found) {
        if (error != nullptr)
            *error = QStringLiteral("There is no resource named \"%1\".").arg(name);
        return false;
    }
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
    if (m_scrollBar->isEnabled() && m_scrollBar->value() > 0) {
        m_scrollBar->setValue(0);
        InvalidateText();
    }
}

void TRichView::GoLast() {
    if (m_scrollBar->isEnabled() && m_scrollBar->value() < m_scrollBar->maximum()) {
        m_scrollBar->setValue(m_scrollBar->maximum());
        InvalidateText();
    }
}

void TRichView::DeleteParagraph(qint32 number) {
    Q_UNUSED(number);
    ContentChanged(LayoutPass(false));
}

qint32 TRichView::DocumentSize() const {
    return 0;
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
    ContentChanged(LayoutPass(false));
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

int TRichView::BarWidth() const {
    return m_scrollBar != nullptr ? m_scrollBar->width() : 0;
}

int TRichView::Avail() const {
    return width() - BarWidth();
}

int TRichView::LayoutPass(bool paint) {
    if (paint) {
        QPixmap buffer(Avail() + 1, std::max(height(), 1));
        buffer.fill(Color());
        QPainter(this).drawPixmap(0, 0, buffer);
    }
    return 0;
}

void TRichView::UpdateScrollRange(int contentHeight) {
    if (contentHeight > height()) {
        m_scrollBar->setRange(0, contentHeight - height());
        m_scrollBar->setEnabled(true);
    } else {
        m_scrollBar->setRange(0, 0);
        m_scrollBar->setValue(0);
        m_scrollBar->setEnabled(false);
    }
}

void TRichView::InvalidateText() {
    update(0, 0, Avail(), height());
}

void TRichView::ContentChanged(int contentHeight) {
    UpdateScrollRange(contentHeight);
    if (m_autoGoLast && m_scrollBar->isEnabled() && !m_scrollBar->Pressed())
        m_scrollBar->setValue(m_scrollBar->maximum());
    Q_EMIT OnChange(this);
    InvalidateText();
}

void TRichView::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    LayoutPass(true);
}

void TRichView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int barWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollBar);
    m_scrollBar->setGeometry(width() - barWidth, 0, barWidth, height());
    UpdateScrollRange(LayoutPass(false));
}

void TRichView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
}

void TRichView::wheelEvent(QWheelEvent* event) {
    // Users expect the wheel over the text to scroll it; the bar does the stepping.
    if (m_scrollBar->isEnabled())
        QCoreApplication::sendEvent(m_scrollBar, event);
    else
        event->ignore();
}
