// The bars of a bar chart: value, colour and moment of each, kept compactly so that a series may grow
// for months without slowing the chart or swelling the program.
#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>
#include <vector>

namespace tevro {

class BarSeries {
public:
    // Distinct colours a series keeps; a further colour is drawn in the nearest one already kept.
    static constexpr int kMaxColours = 256;

    explicit BarSeries(QString name = QString());

    QString Name() const { return m_name; }

    // Appends a bar at x = Count(). The label is the moment (milliseconds since the epoch) formatted
    // by LabelFormat() when it is drawn, so no text is stored per bar.
    void Add(double value, qint64 moment, const QColor& colour);
    void Clear();
    qsizetype Count() const { return m_count; }

    // The bar at `index`, 0 <= index < Count().
    double Value(qsizetype index) const { return At(index).value; }
    qint64 Moment(qsizetype index) const { return At(index).moment; }
    QColor Colour(qsizetype index) const { return QColor::fromRgb(m_palette[At(index).colour]); }
    QString Label(qsizetype index) const;

    // A QDateTime format in local time; "hh:mm" unless set.
    void SetLabelFormat(const QString& format) { m_labelFormat = format; }
    QString LabelFormat() const { return m_labelFormat; }

private:
    // 16 bytes a bar. A float keeps a reply time in ms to the microsecond up to 8 s, the longest time-out.
    struct Bar {
        qint64 moment;
        float value;
        quint8 colour; // index into m_palette
    };
    // Fixed-size chunks: appending never copies the bars already stored, and memory grows in small steps.
    static constexpr qsizetype kChunkBars = 4096;
    using Chunk = std::array<Bar, kChunkBars>;

    const Bar& At(qsizetype index) const {
        return (*m_chunks[static_cast<size_t>(index / kChunkBars)])[static_cast<size_t>(index % kChunkBars)];
    }
    quint8 ColourIndex(QRgb rgb);

    QString m_name;
    QString m_labelFormat = QStringLiteral("hh:mm");
    std::vector<std::unique_ptr<Chunk>> m_chunks;
    qsizetype m_count = 0;
    std::vector<QRgb> m_palette;
};

} // namespace tevro
