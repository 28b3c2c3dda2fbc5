/* A host in C that knows only the library's file name, the ProgID and the member names.
 *
 *   kubrix_host LIBRARY CONNECTION-STRING SQL ROWS COLS DATA
 *
 * It loads the library, registers it, creates the control by its ProgID through the registry
 * and DllGetClassObject, drives it by name through IDispatch, receives an event through the
 * connection point, releases everything, checks that the library may be unloaded and
 * unregisters it. Each step prints one line; the first failure ends the run with status 1. */
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kubrix/kubrix.h"

static int failed = 0;

static void Step(int ok, const char* what, ...) {
    va_list args;
    va_start(args, what);
    printf("%s: ", ok ? "ok" : "FAILED");
    vprintf(what, args);
    printf("\n");
    va_end(args);
    if (!ok) {
        fflush(stdout);
        failed = 1;
        exit(1);
    }
}

static char* Utf8(BSTR s) {
    uint32_t n = SysStringLen(s), i;
    char* out = (char*)malloc(n * 3 + 1);
    size_t k = 0;
    for (i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c < 0x80) {
            out[k++] = (char)c;
        } else if (c < 0x800) {
            out[k++] = (char)(0xC0 | (c >> 6));
            out[k++] = (char)(0x80 | (c & 0x3F));
        } else {
            out[k++] = (char)(0xE0 | (c >> 12));
            out[k++] = (char)(0x80 | ((c >> 6) & 0x3F));
            out[k++] = (char)(0x80 | (c & 0x3F));
        }
    }
    out[k] = 0;
    return out;
}

static void* Symbol(void* library, const char* name) {
    void* p = dlsym(library, name);
    Step(p != NULL, "the library exports %s", name);
    return p;
}

/* ---- calls by name */

static DISPID IdOf(IDispatch* d, const char* name) {
    BSTR wide = KxStringFromUtf8(name);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = d->lpVtbl->GetIDsOfNames(d, &IID_NULL, &wide, 1, 0, &id);
    SysFreeString(wide);
    Step(SUCCEEDED(hr), "GetIDsOfNames(%s) = %d", name, (int)id);
    return id;
}

/* Calls a member with the arguments in declaration order; fills *exception on failure. */
static HRESULT CallByName(IDispatch* d, const char* name, uint16_t flags, VARIANT* args, uint32_t count,
                          VARIANT* result, EXCEPINFO* exception) {
    VARIANT reversed[8];
    DISPPARAMS params;
    DISPID put = DISPID_PROPERTYPUT;
    uint32_t i;
    for (i = 0; i < count; ++i) reversed[i] = args[count - 1 - i];
    params.rgvarg = count ? reversed : NULL;
    params.cArgs = count;
    params.rgdispidNamedArgs = (flags & DISPATCH_PROPERTYPUT) ? &put : NULL;
    params.cNamedArgs = (flags & DISPATCH_PROPERTYPUT) ? 1 : 0;
    memset(exception, 0, sizeof *exception);
    return d->lpVtbl->Invoke(d, IdOf(d, name), &IID_NULL, 0, flags, &params, result, exception, NULL);
}

static VARIANT Text(const char* s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.u.bstrVal = KxStringFromUtf8(s);
    return v;
}

static VARIANT Int(int32_t i) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.u.lVal = i;
    return v;
}

static void Clear(VARIANT* args, uint32_t count) {
    uint32_t i;
    for (i = 0; i < count; ++i) VariantClear(&args[i]);
}

static void ClearException(EXCEPINFO* e) {
    SysFreeString(e->bstrSource);
    SysFreeString(e->bstrDescription);
    SysFreeString(e->bstrHelpFile);
    memset(e, 0, sizeof *e);
}

/* A method that must succeed. */
static void Must(IDispatch* d, const char* name, VARIANT* args, uint32_t count) {
    EXCEPINFO e;
    HRESULT hr = CallByName(d, name, DISPATCH_METHOD, args, count, NULL, &e);
    char* description = e.bstrDescription ? Utf8(e.bstrDescription) : NULL;
    Step(SUCCEEDED(hr), "%s (0x%08X %s)", name, (unsigned)hr, description ? description : "");
    free(description);
    ClearException(&e);
    Clear(args, count);
}

/* ---- the event sink: an IDispatch of our own that records the events' identifiers */

typedef struct Sink {
    IDispatch base;
    uint32_t refs;
    int paints, others;
} Sink;

static HRESULT SinkQueryInterface(IDispatch* This, const IID* iid, void** object) {
    if (KxIsEqualGUID(iid, &IID_IUnknown) || KxIsEqualGUID(iid, &IID_IDispatch) ||
        KxIsEqualGUID(iid, &DIID_IKubrixXEvents)) {
        *object = This;
        This->lpVtbl->AddRef(This);
        return S_OK;
    }
    *object = NULL;
    return E_NOINTERFACE;
}
static uint32_t SinkAddRef(IDispatch* This) { return ++((Sink*)This)->refs; }
static uint32_t SinkRelease(IDispatch* This) { return --((Sink*)This)->refs; }
static HRESULT SinkGetTypeInfoCount(IDispatch* This, uint32_t* count) {
    (void)This;
    *count = 0;
    return S_OK;
}
static HRESULT SinkGetTypeInfo(IDispatch* This, uint32_t index, LCID lcid, ITypeInfo** info) {
    (void)This, (void)index, (void)lcid;
    *info = NULL;
    return E_NOTIMPL;
}
static HRESULT SinkGetIDsOfNames(IDispatch* This, const IID* iid, OLECHAR** names, uint32_t count, LCID lcid,
                                 DISPID* ids) {
    (void)This, (void)iid, (void)names, (void)count, (void)lcid, (void)ids;
    return E_NOTIMPL;
}
static HRESULT SinkInvoke(IDispatch* This, DISPID id, const IID* iid, LCID lcid, uint16_t flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* exception, uint32_t* argError) {
    Sink* sink = (Sink*)This;
    (void)iid, (void)lcid, (void)flags, (void)params, (void)result, (void)exception, (void)argError;
    if (id == KX_DISPID_OnPaint) ++sink->paints;
    else ++sink->others;
    return S_OK;
}
static const IDispatchVtbl kSinkVtbl = {SinkQueryInterface, SinkAddRef,        SinkRelease, SinkGetTypeInfoCount,
                                        SinkGetTypeInfo,    SinkGetIDsOfNames, SinkInvoke};

/* ---- the run */

int main(int argc, char** argv) {
    void *library, *loaded;
    PFN_DllRegisterServer registerServer;
    PFN_DllUnregisterServer unregisterServer;
    PFN_DllCanUnloadNow canUnloadNow;
    PFN_DllGetClassObject getClassObject;
    PFN_KubrixCLSIDFromProgID classFromProgId;
    PFN_KubrixRegQueryValue queryValue;
    PFN_KubrixGetErrorInfo getErrorInfo;
    CLSID clsid, other;
    char key[80], path[4096];
    uint32_t size = sizeof path;
    BSTR progId, unknownProgId;
    IClassFactory* factory = NULL;
    IDispatch* control = NULL;
    IConnectionPointContainer* container = NULL;
    IConnectionPoint* point = NULL;
    IProvideClassInfo* classInfo = NULL;
    ITypeInfo* typeInfo = NULL;
    TYPEATTR* attr = NULL;
    IViewObject2* view = NULL;
    IErrorInfo* errorInfo = NULL;
    Sink sink = {{&kSinkVtbl}, 1, 0, 0};
    uint32_t cookie = 0;
    VARIANT args[5], state, again;
    EXCEPINFO e;
    HRESULT hr;
    BSTR name = NULL;
    char* text;
    uint32_t pixels[64 * 48];
    KUBRIX_IMAGE image = {pixels, 64, 48, 64 * 4};

    if (argc != 7) {
        fprintf(stderr, "usage: kubrix_host LIBRARY CONNECTION-STRING SQL ROWS COLS DATA\n");
        return 2;
    }

    /* Load and register. */
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    Step(library != NULL, "dlopen %s %s", argv[1], library ? "" : dlerror());
    registerServer = (PFN_DllRegisterServer)Symbol(library, "DllRegisterServer");
    unregisterServer = (PFN_DllUnregisterServer)Symbol(library, "DllUnregisterServer");
    classFromProgId = (PFN_KubrixCLSIDFromProgID)Symbol(library, "KubrixCLSIDFromProgID");
    queryValue = (PFN_KubrixRegQueryValue)Symbol(library, "KubrixRegQueryValue");
    getErrorInfo = (PFN_KubrixGetErrorInfo)Symbol(library, "KubrixGetErrorInfo");
    hr = registerServer();
    Step(hr == S_OK, "DllRegisterServer = 0x%08X", (unsigned)hr);

    /* From the ProgID to the class, to the registered library, to its class factory. */
    unknownProgId = KxStringFromUtf8("KubrixProj.NoSuchControl");
    hr = classFromProgId(unknownProgId, &other);
    SysFreeString(unknownProgId);
    Step(hr == CO_E_CLASSSTRING, "an unregistered ProgID is CO_E_CLASSSTRING (0x%08X)", (unsigned)hr);
    progId = KxStringFromUtf8(KUBRIX_PROGID);
    hr = classFromProgId(progId, &clsid);
    SysFreeString(progId);
    Step(hr == S_OK && KxIsEqualGUID(&clsid, &CLSID_KubrixX), "the ProgID names the control's class");
    snprintf(key, sizeof key, "CLSID\\{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\\InprocServer32",
             (unsigned)clsid.Data1, clsid.Data2, clsid.Data3, clsid.Data4[0], clsid.Data4[1], clsid.Data4[2],
             clsid.Data4[3], clsid.Data4[4], clsid.Data4[5], clsid.Data4[6], clsid.Data4[7]);
    hr = queryValue(key, NULL, path, &size);
    Step(hr == S_OK, "the class is served by %s", path);
    loaded = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    Step(loaded != NULL, "dlopen of the registered library");
    getClassObject = (PFN_DllGetClassObject)Symbol(loaded, "DllGetClassObject");
    canUnloadNow = (PFN_DllCanUnloadNow)Symbol(loaded, "DllCanUnloadNow");
    hr = getClassObject(&LIBID_KubrixProj, &IID_IClassFactory, (void**)&factory);
    Step(hr == CLASS_E_CLASSNOTAVAILABLE && factory == NULL, "another class is CLASS_E_CLASSNOTAVAILABLE");
    hr = getClassObject(&clsid, &IID_IClassFactory, (void**)&factory);
    Step(hr == S_OK && factory, "DllGetClassObject hands out the class factory");
    hr = factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, (void**)&control);
    Step(hr == S_OK && control, "CreateInstance gives the control's IDispatch");
    factory->lpVtbl->Release(factory);
    factory = NULL;
    Step(canUnloadNow() == S_FALSE, "DllCanUnloadNow is S_FALSE while the control lives");

    /* What the control says of itself. */
    hr = control->lpVtbl->QueryInterface(control, &IID_IProvideClassInfo, (void**)&classInfo);
    Step(hr == S_OK, "IProvideClassInfo");
    hr = classInfo->lpVtbl->GetClassInfo(classInfo, &typeInfo);
    Step(hr == S_OK, "GetClassInfo");
    typeInfo->lpVtbl->GetDocumentation(typeInfo, MEMBERID_NIL, &name, NULL, NULL, NULL);
    text = Utf8(name);
    Step(strcmp(text, "KubrixX") == 0, "the coclass is %s", text);
    free(text);
    SysFreeString(name);
    typeInfo->lpVtbl->Release(typeInfo);
    classInfo->lpVtbl->Release(classInfo);
    hr = control->lpVtbl->GetTypeInfo(control, 0, 0, &typeInfo);
    Step(hr == S_OK && typeInfo->lpVtbl->GetTypeAttr(typeInfo, &attr) == S_OK, "GetTypeInfo of IKubrixX");
    Step(attr->cFuncs == 51 && attr->typekind == TKIND_DISPATCH, "IKubrixX lists %d members", attr->cFuncs);
    typeInfo->lpVtbl->ReleaseTypeAttr(typeInfo, attr);
    typeInfo->lpVtbl->Release(typeInfo);

    /* Driven by name. */
    args[0] = Text(argv[2]);
    Must(control, "connect", args, 1);
    args[0] = Text(argv[3]);
    Must(control, "SetSQL", args, 1);
    args[0] = Text(argv[4]);
    args[1] = Text(argv[5]);
    args[2] = Text(argv[6]);
    args[3] = Text("X");
    args[4] = Int(0);
    Must(control, "Config", args, 5);

    VariantInit(&state);
    hr = CallByName(control, "State", DISPATCH_PROPERTYGET, NULL, 0, &state, &e);
    Step(hr == S_OK && state.vt == VT_BSTR && SysStringLen(state.u.bstrVal) > 0, "State read: %u units",
         SysStringLen(state.u.bstrVal));
    args[0] = Text("");
    Must(control, "SetSQL", args, 1);
    args[0] = Text(argv[3]);
    Must(control, "SetSQL", args, 1);
    hr = CallByName(control, "State", DISPATCH_PROPERTYPUT, &state, 1, NULL, &e);
    Step(hr == S_OK, "State written back (0x%08X)", (unsigned)hr);
    VariantInit(&again);
    hr = CallByName(control, "state", DISPATCH_PROPERTYGET, NULL, 0, &again, &e);
    Step(hr == S_OK && SysStringLen(again.u.bstrVal) == SysStringLen(state.u.bstrVal) &&
             memcmp(again.u.bstrVal, state.u.bstrVal, SysStringLen(state.u.bstrVal) * 2) == 0,
         "the same State reads back");
    VariantClear(&state);
    VariantClear(&again);

    /* Failures come back as codes with their descriptions. */
    args[0] = Text("no_such_column;");
    args[1] = Text("");
    args[2] = Text("");
    args[3] = Text("X");
    args[4] = Int(0);
    hr = CallByName(control, "Config", DISPATCH_METHOD, args, 5, NULL, &e);
    Clear(args, 5);
    text = e.bstrDescription ? Utf8(e.bstrDescription) : NULL;
    Step(hr == DISP_E_EXCEPTION && FAILED(e.scode) && text && strstr(text, "no_such_column"),
         "a missing field fails with \"%s\"", text ? text : "");
    free(text);
    ClearException(&e);
    hr = getErrorInfo(0, &errorInfo);
    Step(hr == S_OK && errorInfo, "the thread's error info is kept");
    errorInfo->lpVtbl->Release(errorInfo);
    args[0] = Text("SELECT 1");
    hr = CallByName(control, "Connect", DISPATCH_METHOD, args, 0, NULL, &e);
    Step(hr == DISP_E_BADPARAMCOUNT, "a missing argument is DISP_E_BADPARAMCOUNT");
    args[1] = Int(1);
    hr = CallByName(control, "SetSQL", DISPATCH_METHOD, args, 2, NULL, &e);
    Step(hr == DISP_E_BADPARAMCOUNT, "an extra argument is DISP_E_BADPARAMCOUNT");
    Clear(args, 2);

    /* An event through the connection point: drawing into our image paints the form. */
    hr = control->lpVtbl->QueryInterface(control, &IID_IConnectionPointContainer, (void**)&container);
    Step(hr == S_OK, "IConnectionPointContainer");
    hr = container->lpVtbl->FindConnectionPoint(container, &DIID_IKubrixXEvents, &point);
    Step(hr == S_OK, "FindConnectionPoint(IKubrixXEvents)");
    hr = point->lpVtbl->Advise(point, (IUnknown*)&sink.base, &cookie);
    Step(hr == S_OK && cookie != 0, "Advise");
    hr = control->lpVtbl->QueryInterface(control, &IID_IViewObject2, (void**)&view);
    Step(hr == S_OK, "IViewObject2");
    memset(pixels, 0, sizeof pixels);
    hr = view->lpVtbl->Draw(view, DVASPECT_CONTENT, -1, NULL, NULL, NULL, &image, NULL, NULL, NULL, 0);
    Step(hr == S_OK && sink.paints > 0, "Draw fired OnPaint %d time(s)", sink.paints);
    Step(pixels[0] != 0, "Draw painted the image");
    view->lpVtbl->Release(view);
    hr = point->lpVtbl->Unadvise(point, cookie);
    Step(hr == S_OK && sink.refs == 1, "Unadvise lets the sink go");
    point->lpVtbl->Release(point);
    container->lpVtbl->Release(container);

    /* Release, unload, unregister. */
    Must(control, "Close", NULL, 0);
    Must(control, "Disconnect", NULL, 0);
    control->lpVtbl->Release(control);
    Step(canUnloadNow() == S_OK, "DllCanUnloadNow is S_OK after the last release");
    hr = unregisterServer();
    Step(hr == S_OK, "DllUnregisterServer");
    progId = KxStringFromUtf8(KUBRIX_PROGID);
    hr = classFromProgId(progId, &clsid);
    SysFreeString(progId);
    Step(hr == CO_E_CLASSSTRING, "the ProgID is gone");
    dlclose(loaded);
    dlclose(library);
    printf("done\n");
    return failed;
}
