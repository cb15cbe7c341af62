#include "qt/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope.
static void InitOstrelResources() {
    Q_INIT_RESOURCE(ostrel);
}

namespace ostrel::qt {
void InitResources() {
    InitOstrelResources();
}
}  // namespace ostrel::qt
