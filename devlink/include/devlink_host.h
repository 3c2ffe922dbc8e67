#pragma once

// How a host creates Devlink's control: the library exports DllGetClassObject, which hands the
// host the factory of the class registered under a ProgID.
#include <QObject>

struct DevlinkClassFactory {
    // Creates a control owned by `container` (its QObject parent). Never returns null.
    QObject* (*createInstance)(QObject* container);
};

extern "C" {
// 0 and *factory set when progId names a class of the library; non-zero otherwise.
typedef int (*DllGetClassObjectFn)(const char* progId, const DevlinkClassFactory** factory);
}
