// The update module's six operations. For now it never finds a newer version.
#include "brivaneupdate/brivaneupdate.h"

#include <new>

namespace {

struct Update {
    HWND owner = nullptr;
};

Update* fromHandle(BrivaneUpdate update) {
    return static_cast<Update*>(update);
}

}  // namespace

BRIVANEUP_API BrivaneUpdate __cdecl brivaneup_create(HWND owner) {
    Update* update = new (std::nothrow) Update;
    if (update)
        update->owner = owner;
    return update;
}

BRIVANEUP_API int __cdecl brivaneup_setParam(BrivaneUpdate update, int, LONG_PTR) {
    return fromHandle(update) ? 1 : 0;
}

BRIVANEUP_API int __cdecl brivaneup_haveNew(BrivaneUpdate, bool) {
    return 0;
}

BRIVANEUP_API int __cdecl brivaneup_download(BrivaneUpdate) {
    return 0;
}

BRIVANEUP_API int __cdecl brivaneup_install(BrivaneUpdate) {
    return 0;
}

BRIVANEUP_API int __cdecl brivaneup_release(BrivaneUpdate update) {
    delete fromHandle(update);
    return 1;
}
