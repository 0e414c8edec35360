#include "services/LineSplitter.h"

#include <utility>

QByteArray LineSplitter::takeRest() {
    QByteArray rest = std::exchange(m_pending, {});
    if (rest.endsWith('\r'))
        rest.chop(1);
    return rest;
}
