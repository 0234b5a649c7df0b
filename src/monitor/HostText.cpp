#include "monitor/HostText.h"

#include <algorithm>

namespace tevro {

bool IsBlankOrControl(QChar ch) {
    return ch.isSpace() || ch.category() == QChar::Other_Control;
}

bool IsBlankText(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), IsBlankOrControl);
}

QString HostForPing(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && IsBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace tevro
