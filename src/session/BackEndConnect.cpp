#include "session/BackEndConnect.h"

#include <dlfcn.h>

#include <cstring>

#include "odbc/ODBCConnection.h"
#include "support/Errors.h"
#include "support/UiServices.h"

namespace kubrix {
namespace {

//! The loader's message for the last failure (dlerror clears it, so read it once).
std::string LastLoaderError() {
    const char* e = dlerror();
    return e ? e : "";
}

void ShowError(const std::string& text) {
    UiServices().MessageBox(text, "KubrixX", MB_OK | MB_ICONERROR);
}

//! Reads the handle through the two objects; a null object is an error rather than a fault.
ODBCHandle ReadHandle(void* (*getDefault)()) {
    auto* database = static_cast<const unsigned char*>(getDefault());
    if (!database) throw Exception("GetDefault вернул пустой указатель");
    const unsigned char* inner = nullptr;
    std::memcpy(&inner, database + kBackEndInnerObjectOffset, sizeof inner);
    if (!inner) throw Exception("Нет объекта соединения с базой");
    ODBCHandle handle = nullptr;
    std::memcpy(&handle, inner + kBackEndHandleOffset, sizeof handle);
    if (!handle) throw Exception("Нет открытого соединения ODBC");
    return handle;
}

}  // namespace

void ConnectToBackEnd(TQelODBCConnection& connection, const std::string& library) {
    dlerror();
    void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        ShowError(std::string("Ошибка загрузки библиотеки BkEnd.dll") + "\r\r" + LastLoaderError());
        return;
    }
    dlerror();
    void* symbol = dlsym(module, kBackEndGetDefaultSymbol);
    if (!symbol) {
        ShowError(std::string("Ошибка получения процедуры GetDefault библиотеки BkEnd.dll") + "\r\r" + LastLoaderError());
    } else {
        try {
            auto getDefault = reinterpret_cast<void* (*)()>(symbol);
            connection.AttachHandle(ReadHandle(getDefault));
        } catch (const std::exception& e) {
            ShowError(std::string("Ошибка подключения к базе 1С") + "\r\r" + e.what());
        }
    }
    // The host keeps its own reference; ours only balances the dlopen above.
    dlclose(module);
}

}  // namespace kubrix
