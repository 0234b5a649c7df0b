#include "monitor/HostText.h"

namespace tevro {

namespace {

bool Ignored(QChar ch) {
    return ch.isSpace() || ch.category() == QChar::Other_Control;
}

} // namespace

QString HostForPing(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && Ignored(text.at(begin)))
        ++begin;
    while (end > begin && Ignored(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace tevro
