// The markup line parser: tokens, tags, attribute values and word spacing.
#include "richview/MarkupParser.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace tevro {

namespace {

// Macros may use macros; one that uses itself, directly or through others, would expand without end.
// Uses nested deeper than this, or beyond this many characters added to one line, are not expanded.
constexpr int kMaxMacroDepth = 16;
constexpr qsizetype kMaxExpandedLength = qsizetype(1) << 18;
// Blanks kept in front of a token of literal (nlb) text.
constexpr int kMaxLiteralBlanks = 20;

bool InSet(QChar c, TDelimiters set, bool expandTabs) {
    const char16_t u = c.unicode();
    if (expandTabs && u == u'\t')
        return true;
    switch (set) {
    case TDelimiters::Content:
        return u == u' ' || u == u'<';
    case TDelimiters::TagWord:
        return u == u' ' || u == u'>';
    case TDelimiters::AttrName:
        return u == u'=' || u == u'>';
    case TDelimiters::Equals:
        return u == u'=';
    case TDelimiters::Close:
        return u == u'>';
    case TDelimiters::LiteralRun:
        return u == u'<';
    case TDelimiters::Colour:
        return u == u'.';
    }
    return false;
}

bool OnlyBlanks(QStringView s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c == u' '; });
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<qint32> ToInt32(QStringView s) {
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && s[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) {
        negative = s[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    const quint64 limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 value = 0;
    for (; i < n; ++i) {
        const int digit = HexDigit(s[i]);
        if (digit < 0 || (!hex && digit > 9))
            return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<quint64>(digit);
        if (value > limit)
            return std::nullopt;
    }
    // Unsigned arithmetic wraps like the platform's conversion: "$FFFFFFFF" is -1, "-$1" is -1.
    const quint32 bits = static_cast<quint32>(value);
    return static_cast<qint32>(negative ? 0u - bits : bits);
}

qint32 ClampToInt32(qint64 v) {
    return static_cast<qint32>(
        std::clamp<qint64>(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

// cw * percent / 100, rounded to the nearest integer with halves to even.
qint32 PercentOf(qint32 cw, qint32 percent) {
    const qint64 product = static_cast<qint64>(cw) * percent;
    qint64 quotient = product / 100;
    const qint64 rest = product % 100; // same sign as product
    const qint64 twice = (rest < 0 ? -rest : rest) * 2;
    if (twice > 100 || (twice == 100 && quotient % 2 != 0))
        quotient += product < 0 ? -1 : 1;
    return ClampToInt32(quotient);
}

int MeasureRule(const RichViewContext& view, ItemNode& item, const QString& value) {
    item.ItemType = TItemType::Rule;
    item.Text = value.left(kMaxTokenLength);
    item.Height = view.LineHeight();
    const qint32 cw = view.ClientWidth();
    const qsizetype comma = value.indexOf(u',');
    if (comma >= 0) {
        const QStringView before = QStringView(value).left(comma);
        if (value.contains(u"%,"))
            item.Width = PercentOf(cw, IntOrDefault(before.isEmpty() ? before : before.chopped(1), 100));
        else
            item.Width = IntOrDefault(before, cw);
        const int thickness = IntOrDefault(QStringView(value).mid(comma + 1), 1);
        item.Text = QString(QChar(static_cast<char16_t>(static_cast<quint32>(thickness) & 0xFFu)));
    } else if (value.contains(u'%')) {
        item.Width = PercentOf(cw, IntOrDefault(QStringView(value).chopped(1), 100));
    } else {
        item.Width = IntOrDefault(value, cw);
    }
    // A rule of negative width would draw backwards over what stands before it.
    item.Width = std::max(item.Width, 0);
    return item.Width;
}

int MeasurePicture(RichViewContext& view, ItemNode& item, const QString& value) {
    item.Text = value.left(kMaxTokenLength);
    const qsizetype comma = value.indexOf(u',');
    const QString name = comma < 0 ? value : value.left(comma);
    if (const auto picture = view.LookUpPicture(name)) {
        item.Width = picture->size.width();
        item.Height = picture->size.height();
        item.Text = name;
    } else {
        item.Text.clear();
    }
    const bool transparent = comma >= 0 && comma + 1 < value.size() && value[comma + 1] == u'1';
    item.ItemType = transparent ? TItemType::TransparentPicture : TItemType::Picture;
    return item.Width;
}

// Value of the first entry named `name` (case-blind), as Aliases holds "name=text" lines.
qsizetype FindAlias(const QStringList& aliases, QStringView name, Qt::CaseSensitivity cs) {
    for (qsizetype i = 0; i < aliases.size(); ++i) {
        const QString& entry = aliases[i];
        const qsizetype eq = entry.indexOf(u'=');
        const QStringView entryName = eq < 0 ? QStringView(entry) : QStringView(entry).left(eq);
        if (entryName.compare(name, cs) == 0)
            return i;
    }
    return -1;
}

QString AliasValue(const QStringList& aliases, qsizetype index) {
    if (index < 0)
        return {};
    const QString& entry = aliases[index];
    const qsizetype eq = entry.indexOf(u'=');
    return eq < 0 ? QString() : entry.mid(eq + 1);
}

// Everything that lives for one line.
class LineParser {
public:
    LineParser(RichViewContext& view, const QString& line)
        : m_view(view), m_doc(view.Document()), m_surface(view.Measurer()),
          m_base(view.BaseAttrs()), m_tabs{view.ExpandTabs(), view.TabWidth()}, m_lastKey(m_doc.LastKey()) {
        m_in.text = line;
    }

    void Run() {
        QString tok = Next(TDelimiters::Content);
        while (!tok.isEmpty() && tok != u" ") {
            // A "<" with nothing but blanks after it opens no tag; it shows as itself.
            if (tok != u"<" || m_in.Rest().startsWith(u'<') || OnlyBlanks(m_in.Rest())) {
                RunningText(std::move(tok));
            } else {
                m_tagStart = m_in.Unread() + 1;
                Tag(Next(TDelimiters::TagWord).toLower());
            }

            if (m_literalRun) {
                tok = Next(TDelimiters::LiteralRun);
                tok.prepend(QString(std::min(m_skipped, kMaxLiteralBlanks), u' '));
            } else {
                tok = Next(TDelimiters::Content);
            }
        }
        if (m_spacingStart)
            ApplyWordSpacing(m_spacingStart);
    }

private:
    QString Next(TDelimiters set, bool quoteMode = false) {
        return NextToken(m_in, set, quoteMode, m_tabs, &m_skipped);
    }

    template <typename T> T* Append(std::unique_ptr<T> node) {
        node->Key = m_lastKey;
        node->Visible = m_visible;
        return m_doc.Append(std::move(node));
    }

    void NewPara() {
        ++m_lastKey;
        m_curPara = Append(std::make_unique<ParaNode>());
        m_spacingStart = m_curPara;
    }
    void EnsurePara() {
        if (!m_curPara)
            NewPara();
    }
    void EnsureFont() {
        if (!m_curFont)
            m_curFont = Append(std::make_unique<FontNode>(m_base));
    }
    ItemNode* NewItem() { return Append(std::make_unique<ItemNode>()); }
    void AddWidth(int width) { m_runX += width; }

    void RunningText(QString tok) {
        EnsurePara();
        EnsureFont();
        m_surface.ApplyAttrs(m_curFont->Attrs);
        ItemNode* item = NewItem();
        // Deliberately the other way round from the usual entities: the help text is written for it.
        if (tok.contains(u'&')) {
            tok.replace(QLatin1String("&gt#"), QLatin1String("<"), Qt::CaseInsensitive);
            tok.replace(QLatin1String("&lt#"), QLatin1String(">"), Qt::CaseInsensitive);
        }
        AddWidth(MeasureItem(m_view, *item, m_surface, TMeasureKind::Text, tok));
    }

    void Tag(const QString& name) {
        if (name == u"p" || name == u"para") {
            ParaTag();
        } else if (name == u"f" || name == u"font") {
            FontTag();
        } else if (name == u"tab") {
            TabTag();
        } else if (name == u"nlb") {
            Next(TDelimiters::Close);
            m_literalRun = !m_literalRun;
        } else if (name == u"h" || name == u"hidden") {
            Next(TDelimiters::Close);
            m_visible = !m_visible;
        } else if (name == u"a" || name == u"alias") {
            AliasTag();
        } else {
            Next(TDelimiters::TagWord);
            Next(TDelimiters::Close);
        }
    }

    // Reads name=value pairs up to ">" or the end of the line and hands each to `apply`.
    template <typename Apply> void ReadAttributes(Apply apply) {
        QString name = Next(TDelimiters::AttrName).toLower();
        if (name == u">")
            return;
        for (;;) {
            // The token read in place of "=" is used up even when it is something else.
            const QString value = Next(TDelimiters::Equals) == u"="
                                      ? Next(TDelimiters::TagWord, true).toLower()
                                      : QStringLiteral("(leer)"); // accepted by no attribute
            apply(name, value);
            name = Next(TDelimiters::AttrName).toLower();
            if (m_in.AtEnd() || name == u">")
                return;
        }
    }

    // The one attribute of the tab and a tags: its name is ignored, a missing "=" gives an empty value.
    QString ReadSingleValue(TDelimiters nameSet) {
        Next(nameSet);
        if (Next(TDelimiters::Equals) == u"=")
            return Next(TDelimiters::TagWord, true).toLower();
        return {};
    }

    void ParaTag() {
        if (m_spacingStart)
            ApplyWordSpacing(m_spacingStart);
        NewPara();
        ParaNode* para = m_curPara;
        ReadAttributes([para](const QString& name, const QString& value) {
            if (name == u"halign" || name == u"align") {
                if (value == u"left")
                    para->HAlign = THAlign::Left;
                else if (value == u"center")
                    para->HAlign = THAlign::Center;
                else if (value == u"right")
                    para->HAlign = THAlign::Right;
            } else if (name == u"valign" || name == u"layout") {
                if (value == u"top")
                    para->VAlign = TVAlign::Top;
                else if (value == u"middle")
                    para->VAlign = TVAlign::Middle;
                else if (value == u"bottom")
                    para->VAlign = TVAlign::Bottom;
            } else if (name == u"tab" || name == u"ident") {
                const int indent = IntOrDefault(value, -1);
                if (indent != -1)
                    para->Indent = indent;
            }
        });
    }

    void FontTag() {
        EnsurePara();
        // Never a copy of the previous font: "<f>" alone returns to the base font.
        m_curFont = Append(std::make_unique<FontNode>(m_base));
        TFontAttrs& attrs = m_curFont->Attrs;
        ReadAttributes([this, &attrs](const QString& name, const QString& value) {
            if (name == u"bgcolor" || name == u"back-color") {
                attrs.BackColor = ParseColor(value, m_base.BackColor);
            } else if (name == u"color" || name == u"fore-color") {
                attrs.ForeColor = ParseColor(value, m_base.ForeColor);
            } else if (name == u"name" || name == u"font-name") {
                // Kept whole: family names here may be longer than 32 characters.
                if (m_view.FontInstalled(value))
                    attrs.Name = value;
            } else if (name == u"pitch" || name == u"font-pitch") {
                attrs.Pitch = ParsePitch(value);
            } else if (name == u"size" || name == u"font-size") {
                const int size = IntOrDefault(value, -1);
                if (size != -1)
                    attrs.Size = size;
            } else if (name == u"style" || name == u"font-style") {
                attrs.Style |= ParseStyle(value);
            } else if (name == u"pic" || name == u"inline-pic") {
                AddWidth(MeasureItem(m_view, *NewItem(), m_surface, TMeasureKind::Picture, value));
            } else if (name == u"hr") {
                AddWidth(MeasureItem(m_view, *NewItem(), m_surface, TMeasureKind::Rule, value));
            }
        });
    }

    void TabTag() {
        const QString value = ReadSingleValue(TDelimiters::AttrName);
        Next(TDelimiters::Close);
        EnsurePara();
        EnsureFont();
        ItemNode* item = NewItem();
        const std::optional<qint32> target = ToInt32(value);
        // Items may be negative or huge, so the run is summed in 64 bits and a gap is held to 32 bits.
        if (target && *target > m_runX) {
            const qint32 gap = ClampToInt32(*target - m_runX);
            AddWidth(MeasureItem(m_view, *item, m_surface, TMeasureKind::Tab, QString::number(gap)));
        }
    }

    void AliasTag() {
        const QString value = ReadSingleValue(TDelimiters::Equals);
        if (!m_in.AtEnd())
            ++m_in.pos; // the ">"
        QStringList& aliases = m_view.Aliases();

        if (value.startsWith(u'#') && value.endsWith(u'#')) {
            const QStringView name = QStringView(value).mid(1, std::max<qsizetype>(value.size() - 2, 0));
            const QString text = AliasValue(aliases, FindAlias(aliases, name, Qt::CaseInsensitive));
            if (text.isEmpty())
                return;
            // The expansions this use was written inside: those whose text still held the tag's "<".
            while (!m_openExpansions.empty() && m_openExpansions.back() >= m_tagStart)
                m_openExpansions.pop_back();
            // Too deep or too long: this use stays unexpanded and the rest of the line is read as usual.
            if (std::ssize(m_openExpansions) >= kMaxMacroDepth || m_expanded + text.size() > kMaxExpandedLength)
                return;
            m_expanded += text.size();
            m_openExpansions.push_back(m_in.Unread()); // what follows the expansion
            m_in.Prepend(text);
        } else if (!value.isEmpty() && !m_in.AtEnd()) {
            const QString text = m_in.Rest().toString();
            m_in.pos = m_in.text.size(); // the definition takes the rest of the line
            const qsizetype index = FindAlias(aliases, value, Qt::CaseInsensitive);
            if (index < 0)
                aliases.append(value + u'=' + text);
            else if (AliasValue(aliases, index).isEmpty())
                aliases[index] = value + u'=' + text;
            // A name that already has a text keeps its first one.
        } else if (!value.isEmpty()) {
            const qsizetype index = FindAlias(aliases, value, Qt::CaseSensitive);
            if (index >= 0)
                aliases.removeAt(index);
        } else {
            aliases.clear();
        }
    }

    // The gap between words: every item of the paragraphs from `start` on gets half the base font size,
    // except a line's last item unless its paragraph is right-aligned.
    void ApplyWordSpacing(ParaNode* start) {
        const int gap = m_base.Size / 2;
        const ParaNode* para = start;
        for (Node* n = start; n; n = n->Next) {
            if (const ParaNode* p = AsPara(n)) {
                para = p;
            } else if (ItemNode* item = AsItem(n)) {
                if (n->Next || para->HAlign == THAlign::Right)
                    item->Width = ClampToInt32(static_cast<qint64>(item->Width) + gap);
            }
        }
    }

    RichViewContext& m_view;
    RichDocument& m_doc;
    TextMeasurer& m_surface;
    const TFontAttrs& m_base;
    const TabOptions m_tabs;

    TokenInput m_in;
    int m_skipped = 0;
    qint32 m_lastKey;
    ParaNode* m_curPara = nullptr;
    FontNode* m_curFont = nullptr;
    ParaNode* m_spacingStart = nullptr;
    qint64 m_runX = 0;
    bool m_visible = true;
    bool m_literalRun = false;
    // Unread length at the "<" of the tag being handled, and, per macro expansion still being read, the
    // unread length just after its text: positions counted from the line's end survive prepending.
    qsizetype m_tagStart = 0;
    std::vector<qsizetype> m_openExpansions;
    qsizetype m_expanded = 0;
};

} // namespace

void TokenInput::Prepend(QStringView front) {
    if (front.size() > pos) {
        // Leave as much room in front as the text will hold, so prepending stays linear overall.
        const qsizetype room = front.size() + Unread();
        text = QString(room, u' ') + QStringView(text).mid(pos);
        pos = room;
    }
    pos -= front.size();
    std::copy(front.begin(), front.end(), text.begin() + pos);
}

QString NextToken(TokenInput& input, TDelimiters set, bool quoteMode, const TabOptions& tabs, int* skipped) {
    const QString& t = input.text;
    const qsizetype end = t.size();
    qsizetype p = input.pos;
    int blanks = 0;
    while (p < end && t[p] == u' ') {
        ++p;
        ++blanks;
    }
    QString tok;
    if (p < end) {
        if (InSet(t[p], set, tabs.expandTabs)) {
            tok = t[p];
            ++p;
        } else {
            const qsizetype start = p;
            bool inQuotes = false;
            while (p < end && p - start < kMaxTokenLength) {
                const QChar c = t[p];
                if (quoteMode && c == u'"')
                    inQuotes = !inQuotes;
                else if (!inQuotes && InSet(c, set, tabs.expandTabs))
                    break;
                ++p;
            }
            // A token cut for length does not split a character outside the basic plane.
            if (p < end && p - start == kMaxTokenLength && t[p - 1].isHighSurrogate() &&
                t[p].isLowSurrogate())
                --p;
            tok = t.mid(start, p - start);
        }
    }
    input.pos = p;
    if (quoteMode && tok.startsWith(u'"') && tok.endsWith(u'"'))
        tok = tok.size() >= 2 ? tok.mid(1, tok.size() - 2) : QString();
    if (tabs.expandTabs && tok == u"\t")
        tok = QString(std::max(tabs.tabWidth, 0), u' ');
    if (skipped)
        *skipped = blanks;
    return tok;
}

int MeasureItem(RichViewContext& view, ItemNode& item, TextMeasurer& surface, TMeasureKind kind,
                const QString& value) {
    switch (kind) {
    case TMeasureKind::Text: {
        item.ItemType = TItemType::Text;
        // The whole token is kept: in nlb mode blanks in front make it longer than one token, and
        // cutting it would drop characters that its measured width still counts.
        item.Text = value;
        const QSize extent = surface.TextExtent(value);
        item.Width = extent.width();
        item.Height = extent.height();
        return item.Width;
    }
    case TMeasureKind::Picture:
        return MeasurePicture(view, item, value);
    case TMeasureKind::Rule:
        return MeasureRule(view, item, value);
    case TMeasureKind::Tab:
        item.ItemType = TItemType::Text;
        item.Text.clear();
        item.Width = IntOrDefault(value, -1);
        item.Height = view.LineHeight();
        return item.Width;
    }
    return item.Width;
}

Color32 ParseColor(const QString& value, Color32 fallback) {
    TokenInput in{value};
    const TabOptions tabs;
    int parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            NextToken(in, TDelimiters::Colour, false, tabs); // separator, not inspected
        parts[i] = IntOrDefault(NextToken(in, TDelimiters::Colour, false, tabs), -1);
        if (parts[i] == -1)
            return fallback;
    }
    return RgbColor(parts[0], parts[1], parts[2]);
}

TFontPitch ParsePitch(const QString& value) {
    if (value == u"variable")
        return fpVariable;
    if (value == u"fixed")
        return fpFixed;
    return fpDefault;
}

TFontStyle ParseStyle(const QString& value) {
    if (value == u"bold")
        return fsBold;
    if (value == u"italic")
        return fsItalic;
    if (value == u"underline")
        return fsUnderline;
    return fsStrikeOut;
}

int IntOrDefault(QStringView text, int fallback) {
    return ToInt32(text).value_or(fallback);
}

void ParseLine(RichViewContext& view, const QString& line) {
    LineParser(view, line).Run();
}

} // namespace tevro
