// The built-in resources: look-up by name, and that every picture and the sound is what its users expect.
#include "common/Resources.h"

#include <QColor>
#include <QImage>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

using namespace tevro;

namespace {

QImage LoadImage(const char* name) {
    const QString path = ResourcePath(QLatin1String(name));
    return path.isEmpty() ? QImage() : QImage(path);
}

quint32 Le32(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint32>(data.constData() + at);
}

quint16 Le16(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint16>(data.constData() + at);
}

// The hue class that most strongly coloured pixels fall into; "grey" when there are hardly any.
std::string DominantColour(const QImage& image) {
    std::map<std::string, int> votes;
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128 || c.hsvSaturation() < 120 || c.value() < 80)
                continue;
            ++coloured;
            const int hue = c.hsvHue();
            if (hue < 20 || hue >= 340)
                ++votes["red"];
            else if (hue >= 40 && hue < 65)
                ++votes["yellow"];
            else if (hue >= 90 && hue < 160)
                ++votes["green"];
            else
                ++votes["other"];
        }
    }
    if (coloured < 10)
        return "grey";
    return std::max_element(votes.begin(), votes.end(),
                            [](const auto& a, const auto& b) { return a.second < b.second; })
        ->first;
}

} // namespace

TEST(ResourceLookupTest, NamesMatchWithoutRegardToCase) {
    const QString path = ResourcePath(QStringLiteral("Help_Icon"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(ResourcePath(QStringLiteral("help_icon")), path);
    EXPECT_EQ(ResourcePath(QStringLiteral("HELP_ICON")), path);
    EXPECT_EQ(ResourcePath(QStringLiteral("bitmap_none")), ResourcePath(QStringLiteral("Bitmap_None")));
    EXPECT_TRUE(ResourceNames().contains(QStringLiteral("Help_Icon"))); // names keep their own spelling
}

TEST(ResourceLookupTest, MissingNamesGiveNothing) {
    EXPECT_TRUE(ResourcePath(QStringLiteral("No_Such_Resource")).isEmpty());
    EXPECT_TRUE(ResourcePath(QString()).isEmpty());

    bool found = true;
    EXPECT_TRUE(ResourceData(QStringLiteral("No_Such_Resource"), &found).isEmpty());
    EXPECT_FALSE(found);
    EXPECT_FALSE(ResourceData(QStringLiteral("ping_success"), &found).isEmpty());
    EXPECT_TRUE(found);
}

TEST(StatusBitmapTest, Are16By16With24BitsAndTheirOwnColour) {
    const std::map<const char*, std::string> colours = {{"Bitmap_None", "grey"},
                                                        {"Socket_Error", "red"},
                                                        {"Ping_Failed", "yellow"},
                                                        {"Ping_Success", "green"}};
    for (const auto& [name, colour] : colours) {
        SCOPED_TRACE(name);
        bool found = false;
        const QByteArray bmp = ResourceData(QLatin1String(name), &found);
        ASSERT_TRUE(found);
        // File header, then the 40-byte info header: width, height (negative: top-down), planes, bits.
        ASSERT_GE(bmp.size(), 54 + 16 * 16 * 3);
        EXPECT_EQ(bmp.left(2), QByteArray("BM"));
        EXPECT_EQ(Le32(bmp, 2), quint32(bmp.size()));
        EXPECT_EQ(Le32(bmp, 14), 40u);
        EXPECT_EQ(qint32(Le32(bmp, 18)), 16);
        EXPECT_EQ(std::abs(qint32(Le32(bmp, 22))), 16);
        EXPECT_EQ(Le16(bmp, 28), 24);
        EXPECT_EQ(Le32(bmp, 30), 0u); // uncompressed

        const QImage image = QImage::fromData(bmp);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_FALSE(image.hasAlphaChannel());
        EXPECT_EQ(DominantColour(image), colour);
    }
}

TEST(PictureTest, HaveTheSizesTheirPlacesExpect) {
    const std::map<const char*, QSize> sizes = {
        {"Help_Icon", {32, 32}},
        {"Help_Picture", {144, 192}},
        {"Tevro_Icon", {32, 32}},
        {"Tevro_Icon_16", {16, 16}},
        {"Tevro_Icon_64", {64, 64}},
        {"Glyph_Orvex", {16, 16}},
        {"Glyph_Alert", {16, 16}},
        {"Glyph_Graph", {16, 16}},
        {"Glyph_Orvex_Disabled", {16, 16}},
        {"Glyph_Alert_Disabled", {16, 16}},
        {"Glyph_Graph_Disabled", {16, 16}},
    };
    for (const auto& [name, size] : sizes) {
        SCOPED_TRACE(name);
        const QImage image = LoadImage(name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), size);
    }
    // The help view draws its pictures opaquely: the icon must not rely on alpha.
    EXPECT_FALSE(LoadImage("Help_Icon").hasAlphaChannel());
}

TEST(GlyphTest, DisabledStateIsGreyAndKeepsTheShape) {
    for (const char* base : {"Glyph_Orvex", "Glyph_Alert", "Glyph_Graph"}) {
        SCOPED_TRACE(base);
        const QImage normal = LoadImage(base).convertToFormat(QImage::Format_ARGB32);
        const QImage greyed =
            LoadImage((std::string(base) + "_Disabled").c_str()).convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(normal.isNull());
        ASSERT_FALSE(greyed.isNull());
        EXPECT_NE(DominantColour(normal), "grey");
        EXPECT_EQ(DominantColour(greyed), "grey");
        // Transparent around the symbol, and drawn wherever the normal glyph is.
        EXPECT_EQ(qAlpha(normal.pixel(0, 0)) + qAlpha(greyed.pixel(0, 0)), 0);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x) {
                if (qAlpha(normal.pixel(x, y)) == 255) {
                    EXPECT_GT(qAlpha(greyed.pixel(x, y)), 200) << x << "," << y;
                }
            }
        }
    }
}

TEST(BackgroundTest, LightQuietAndSeamless) {
    for (const char* name : {"Log_Background", "Help_Background"}) {
        SCOPED_TRACE(name);
        const QImage image = LoadImage(name).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(image.isNull());
        const int w = image.width(), h = image.height();
        ASSERT_GE(w, 16);
        ASSERT_GE(h, 16);
        int darkest = 255, lightest = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int v = qGray(image.pixel(x, y));
                darkest = std::min(darkest, v);
                lightest = std::max(lightest, v);
            }
        EXPECT_GE(darkest, 215) << "black text must stay readable";
        EXPECT_LE(lightest - darkest, 35);

        // A tile meets its neighbour without a seam: the step from its last column (row) to its first
        // is no larger than the largest step between two columns (rows) inside it.
        auto step = [&](bool columns, int a, int b) {
            const int n = columns ? h : w;
            int sum = 0;
            for (int i = 0; i < n; ++i)
                sum += columns ? std::abs(qGray(image.pixel(a, i)) - qGray(image.pixel(b, i)))
                               : std::abs(qGray(image.pixel(i, a)) - qGray(image.pixel(i, b)));
            return double(sum) / n;
        };
        for (const bool columns : {true, false}) {
            const int n = columns ? w : h;
            double inner = 0;
            for (int i = 0; i + 1 < n; ++i)
                inner = std::max(inner, step(columns, i, i + 1));
            EXPECT_LE(step(columns, n - 1, 0), inner + 0.5) << (columns ? "columns" : "rows");
        }
    }
}

TEST(AlertSoundTest, IsAShortMono16BitPcmWave) {
    bool found = false;
    const QByteArray wav = ResourceData(QStringLiteral("alert_sound"), &found);
    ASSERT_TRUE(found);
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(Le32(wav, 4), quint32(wav.size() - 8));
    EXPECT_EQ(wav.mid(8, 4), QByteArray("WAVE"));

    // Walk the chunks: "fmt " describes the samples, "data" holds them.
    quint32 rate = 0;
    quint16 format = 0, channels = 0, bits = 0;
    QByteArray samples;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const QByteArray id = wav.mid(at, 4);
        const quint32 size = Le32(wav, at + 4);
        ASSERT_LE(at + 8 + qsizetype(size), wav.size()) << "chunk runs past the end";
        if (id == "fmt ") {
            ASSERT_GE(size, 16u);
            format = Le16(wav, at + 8);
            channels = Le16(wav, at + 10);
            rate = Le32(wav, at + 12);
            EXPECT_EQ(Le32(wav, at + 16), rate * 2); // byte rate
            EXPECT_EQ(Le16(wav, at + 20), 2);        // block align
            bits = Le16(wav, at + 22);
        } else if (id == "data") {
            samples = wav.mid(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_EQ(format, 1); // PCM
    EXPECT_EQ(channels, 1);
    EXPECT_TRUE(rate == 22050 || rate == 44100) << rate;
    EXPECT_EQ(bits, 16);
    ASSERT_GT(rate, 0u);

    const qsizetype count = samples.size() / 2;
    const double seconds = double(count) / rate;
    EXPECT_GE(seconds, 0.5);
    EXPECT_LE(seconds, 1.0);
    int peak = 0;
    for (qsizetype i = 0; i < count; ++i)
        peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(samples.constData() + 2 * i))));
    EXPECT_GT(peak, 8000) << "loud enough to be heard";
    EXPECT_LT(peak, 32767) << "not clipped";
    // Starts and ends on silence, so neither edge clicks.
    ASSERT_GT(count, 0);
    EXPECT_LT(std::abs(int(qFromLittleEndian<qint16>(samples.constData()))), 200);
    EXPECT_LT(std::abs(int(qFromLittleEndian<qint16>(samples.constData() + 2 * (count - 1)))), 200);
}
