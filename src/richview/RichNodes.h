// The text view's document: font attributes, the three node kinds and the singly linked list that owns them.
#pragma once

#include <QFlags>
#include <QString>
#include <QtGlobal>
#include <memory>

namespace tevro {

// A colour as red + green * 256 + blue * 65536.
using Color32 = quint32;

constexpr Color32 RgbColor(int red, int green, int blue) {
    return static_cast<Color32>(red & 0xFF) | (static_cast<Color32>(green & 0xFF) << 8) |
           (static_cast<Color32>(blue & 0xFF) << 16);
}
constexpr int RedOf(Color32 c) {
    return static_cast<int>(c & 0xFF);
}
constexpr int GreenOf(Color32 c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int BlueOf(Color32 c) {
    return static_cast<int>((c >> 16) & 0xFF);
}

enum TFontPitch : quint8 { fpDefault = 0, fpVariable = 1, fpFixed = 2 };

enum TFontStyle : quint8 { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4, fsStrikeOut = 0x8 };
Q_DECLARE_FLAGS(TFontStyles, TFontStyle)
Q_DECLARE_OPERATORS_FOR_FLAGS(TFontStyles)

// What a font node carries and what the view's base font is described by.
struct TFontAttrs {
    Color32 BackColor = RgbColor(255, 255, 255);
    Color32 ForeColor = RgbColor(0, 0, 0);
    QString Name;
    TFontPitch Pitch = fpDefault;
    qint32 Size = 8; // points
    TFontStyles Style;

    friend bool operator==(const TFontAttrs&, const TFontAttrs&) = default;
};

enum class TNodeKind : quint8 { Item = 0, Font = 1, Para = 2 };

enum class THAlign : quint8 { Left = 0, Right = 1, Center = 2 };
enum class TVAlign : quint8 { Top = 0, Middle = 1, Bottom = 2 };

enum class TItemType : quint8 { Text = 0, Picture = 1, TransparentPicture = 2, Rule = 3 };

// Common head of every node. Key is the number of the paragraph the node belongs to (0 for the oldest).
struct Node {
    explicit Node(TNodeKind kind) : Kind(kind) {}
    virtual ~Node() = default;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    qint32 Key = 0;
    Node* Next = nullptr; // owned by the document, not by the node
    const TNodeKind Kind;
    bool Visible = true;
};

struct ParaNode final : Node {
    ParaNode() : Node(TNodeKind::Para) {}
    THAlign HAlign = THAlign::Left;
    TVAlign VAlign = TVAlign::Top;
    qint32 Indent = 0; // pixels
};

struct FontNode final : Node {
    explicit FontNode(const TFontAttrs& base) : Node(TNodeKind::Font), Attrs(base) {}
    TFontAttrs Attrs;
};

// A word (or run of words), a picture, a rule or a tab gap. Width includes the word spacing added at the
// end of its paragraph; widths may be negative (an item left with its defaults is -1 wide).
struct ItemNode final : Node {
    ItemNode() : Node(TNodeKind::Item) {}
    TItemType ItemType = TItemType::Text;
    QString Text;
    qint32 Width = -1;
    qint32 Height = -1;
};

// Checked down-casts by kind; nullptr when the node is of another kind.
inline ParaNode* AsPara(Node* n) {
    return n && n->Kind == TNodeKind::Para ? static_cast<ParaNode*>(n) : nullptr;
}
inline FontNode* AsFont(Node* n) {
    return n && n->Kind == TNodeKind::Font ? static_cast<FontNode*>(n) : nullptr;
}
inline ItemNode* AsItem(Node* n) {
    return n && n->Kind == TNodeKind::Item ? static_cast<ItemNode*>(n) : nullptr;
}
inline const ParaNode* AsPara(const Node* n) {
    return AsPara(const_cast<Node*>(n));
}
inline const FontNode* AsFont(const Node* n) {
    return AsFont(const_cast<Node*>(n));
}
inline const ItemNode* AsItem(const Node* n) {
    return AsItem(const_cast<Node*>(n));
}

// The node list, appended at its tail. It owns its nodes; freeing is iterative, so a long document
// never recurses.
class RichDocument {
public:
    RichDocument() = default;
    ~RichDocument();
    RichDocument(const RichDocument&) = delete;
    RichDocument& operator=(const RichDocument&) = delete;

    Node* Head() const { return m_head; }
    Node* Tail() const { return m_tail; }
    bool IsEmpty() const { return m_head == nullptr; }
    qsizetype Count() const { return m_count; }

    // Counts the changes other than appending (clearing, removing a paragraph): while it stays the same,
    // every node seen before is still there, unchanged.
    quint64 Edits() const { return m_edits; }

    // Key of the last node, -1 for an empty document: where the next line's paragraph numbers continue.
    qint32 LastKey() const { return m_tail ? m_tail->Key : -1; }

    // Takes ownership and links the node at the tail; returns it for convenience.
    template <typename T> T* Append(std::unique_ptr<T> node) {
        T* raw = node.release();
        Link(raw);
        return raw;
    }

    void Clear();

    // Frees the first run of nodes whose Key is `key` and numbers every later node one lower, so that
    // paragraph numbers stay consecutive. Returns the number of nodes freed (0 when there is no such key).
    qsizetype RemoveParagraph(qint32 key);

private:
    void Link(Node* node);

    Node* m_head = nullptr;
    Node* m_tail = nullptr;
    qsizetype m_count = 0;
    quint64 m_edits = 0;
};

} // namespace tevro
