// The markup language of the text view: tokenizer, value conversions and the line parser that turns one
// line into paragraph, font and item nodes.
#pragma once

#include "richview/RichNodes.h"
#include "richview/RichViewContext.h"
#include "richview/TextMeasurer.h"

#include <QString>
#include <QStringView>

namespace tevro {

// Parses one line (no CR LF inside) and appends its nodes to the view's document. Every outcome is in the
// document, the view's Aliases and the font left on the view's measurer; malformed markup is never an error.
void ParseLine(RichViewContext& view, const QString& line);

// The delimiter sets the tokenizer is called with. With tab expansion on, TAB belongs to every set.
enum class TDelimiters : quint8 {
    Content,    // blank, "<"
    TagWord,    // blank, ">"
    AttrName,   // "=", ">"
    Equals,     // "="
    Close,      // ">"
    LiteralRun, // "<"
    Colour,     // "."
};

// What is not yet read of a line: the text and a read position (so taking a token never copies the rest).
struct TokenInput {
    QString text;
    qsizetype pos = 0;

    bool AtEnd() const { return pos >= text.size(); }
    QStringView Rest() const { return QStringView(text).mid(pos); }
    qsizetype Unread() const { return text.size() - pos; }
    // Puts `front` before what is not yet read. Written into the room that reading has left where it
    // fits, so that many macro uses in a long line cost what they add, not a copy of the rest each.
    void Prepend(QStringView front);
};

struct TabOptions {
    bool expandTabs = true;
    int tabWidth = 4;
};

// Longest token the tokenizer takes in one piece; longer words come out as several tokens.
inline constexpr qsizetype kMaxTokenLength = 79;

// Takes the next token from `input`: skips blanks (counted in `skipped`), then one delimiter character,
// or the longest run of at most kMaxTokenLength characters without a delimiter. In quote mode double
// quotes protect delimiters and a token wrapped in quotes loses them. A lone TAB becomes blanks.
QString NextToken(TokenInput& input, TDelimiters set, bool quoteMode, const TabOptions& tabs,
                  int* skipped = nullptr);

enum class TMeasureKind : quint8 { Text, Picture, Rule, Tab };

// Fills `item` as a text, picture, rule or tab item from `value` and returns its width.
int MeasureItem(RichViewContext& view, ItemNode& item, TextMeasurer& surface, TMeasureKind kind,
                const QString& value);

// "r.g.b" with each part converted by IntOrDefault; `fallback` when a part does not convert.
Color32 ParseColor(const QString& value, Color32 fallback);
TFontPitch ParsePitch(const QString& value);
// One style per value; any word but bold, italic, underline and strikeout gives strikeout.
TFontStyle ParseStyle(const QString& value);

// Lenient integer conversion: leading blanks, optional sign, decimal digits, or hexadecimal after "$",
// "x" or "0x" (up to 32 bits, so "$FFFFFFFF" is -1). Anything else, and a decimal outside the 32-bit range,
// gives `fallback`.
int IntOrDefault(QStringView text, int fallback);

} // namespace tevro
