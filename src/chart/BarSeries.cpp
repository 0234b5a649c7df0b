// Compact bar storage and the colour palette behind it.
#include "chart/BarSeries.h"

#include <QDateTime>
#include <limits>

namespace tevro {

BarSeries::BarSeries(QString name) : m_name(std::move(name)) {}

void BarSeries::Add(double value, qint64 moment, const QColor& colour) {
    const auto slot = static_cast<size_t>(m_count % kChunkBars);
    if (slot == 0)
        m_chunks.push_back(std::make_unique<Chunk>());
    (*m_chunks.back())[slot] = Bar{moment, static_cast<float>(value), ColourIndex(colour.rgb())};
    ++m_count;
}

void BarSeries::Clear() {
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_count = 0;
    m_palette.clear();
}

QString BarSeries::Label(qsizetype index) const {
    return QDateTime::fromMSecsSinceEpoch(Moment(index)).toString(m_labelFormat);
}

quint8 BarSeries::ColourIndex(QRgb rgb) {
    for (size_t i = 0; i < m_palette.size(); ++i)
        if (m_palette[i] == rgb)
            return static_cast<quint8>(i);
    if (m_palette.size() < kMaxColours) {
        m_palette.push_back(rgb);
        return static_cast<quint8>(m_palette.size() - 1);
    }
    size_t nearest = 0;
    int best = std::numeric_limits<int>::max();
    for (size_t i = 0; i < m_palette.size(); ++i) {
        const int dr = qRed(m_palette[i]) - qRed(rgb);
        const int dg = qGreen(m_palette[i]) - qGreen(rgb);
        const int db = qBlue(m_palette[i]) - qBlue(rgb);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return static_cast<quint8>(nearest);
}

} // namespace tevro
