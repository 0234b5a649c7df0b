// The document list: appending, freeing and removing a paragraph.
#include "richview/RichNodes.h"

namespace tevro {

RichDocument::~RichDocument() {
    Clear();
}

void RichDocument::Link(Node* node) {
    node->Next = nullptr;
    if (m_tail)
        m_tail->Next = node;
    else
        m_head = node;
    m_tail = node;
    ++m_count;
}

void RichDocument::Clear() {
    Node* n = m_head;
    while (n) {
        Node* next = n->Next;
        delete n;
        n = next;
    }
    m_head = m_tail = nullptr;
    m_count = 0;
    ++m_edits;
}

qsizetype RichDocument::RemoveParagraph(qint32 key) {
    Node* before = nullptr; // last node kept in front of the run
    Node* n = m_head;
    while (n && n->Key != key) {
        before = n;
        n = n->Next;
    }
    qsizetype removed = 0;
    while (n && n->Key == key) {
        Node* next = n->Next;
        delete n;
        n = next;
        ++removed;
    }
    if (removed == 0)
        return 0;
    ++m_edits;
    (before ? before->Next : m_head) = n;
    m_count -= removed;
    for (Node* later = n; later; later = later->Next) {
        --later->Key;
        if (!later->Next)
            m_tail = later;
    }
    if (!n)
        m_tail = before;
    return removed;
}

} // namespace tevro
