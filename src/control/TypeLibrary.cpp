#include "control/TypeLibrary.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "control/KubrixProj_TLB.h"
#include "control/KubrixXMembers.h"

namespace kubrix {
namespace {

// Positions of the type infos in the library.
enum : std::uint32_t { kIKubrixX = 0, kEvents = 1, kCoclass = 2, kFirstEnum = 3 };
constexpr std::uint32_t kTypeCount = 7;

//! A zeroed block of size bytes, freed with std::free.
template <typename T>
T* NewBlock(std::size_t size) {
    void* p = std::calloc(1, size);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
}

//! A wide string copy for an out parameter that may be null.
void Out(BSTR* target, const char16_t* text) {
    if (target) *target = text ? SysAllocString(text) : nullptr;
}

void Describe(TYPEDESC& t, VarType vt, int enumIndex) {
    t.vt = vt;
    if (vt == VT_USERDEFINED) t.hreftype = kFirstEnum + static_cast<HREFTYPE>(enumIndex);
}

class TTypeInfo final : public ITypeInfo {
public:
    TTypeInfo(std::uint32_t index, ITypeLib& lib) : index_(index), lib_(lib) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITypeInfo) {
            *object = static_cast<ITypeInfo*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Part of the library's static data: the count only keeps the convention.
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }

    HRESULT GetTypeAttr(TYPEATTR** attr) override {
        if (!attr) return E_POINTER;
        auto* a = NewBlock<TYPEATTR>(sizeof(TYPEATTR));
        a->memidConstructor = a->memidDestructor = MEMBERID_NIL;
        a->cbAlignment = alignof(void*);
        a->wMajorVerNum = 1;
        a->wMinorVerNum = 0;
        a->cbSizeInstance = sizeof(void*);
        if (const auto* members = Members()) {
            a->guid = index_ == kIKubrixX ? IID_IKubrixX : DIID_IKubrixXEvents;
            a->typekind = TKIND_DISPATCH;
            a->cFuncs = static_cast<std::uint16_t>(members->size());
            a->cbSizeVft = 7 * sizeof(void*);
            a->wTypeFlags = index_ == kIKubrixX
                                ? TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE
                                : TYPEFLAG_FDISPATCHABLE;
        } else if (index_ == kCoclass) {
            a->guid = CLASS_KubrixX;
            a->typekind = TKIND_COCLASS;
            a->cImplTypes = 2;
            a->wTypeFlags = TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL;
        } else {
            a->typekind = TKIND_ENUM;
            a->cVars = static_cast<std::uint16_t>(Enum().Values.size());
            a->cbSizeInstance = 4;
            a->cbAlignment = 4;
        }
        *attr = a;
        return S_OK;
    }
    HRESULT GetTypeComp(void** comp) override {
        if (comp) *comp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetFuncDesc(std::uint32_t index, FUNCDESC** desc) override {
        if (!desc) return E_POINTER;
        *desc = nullptr;
        const auto* members = Members();
        if (!members || index >= members->size()) return TYPE_E_ELEMENTNOTFOUND;
        const TMemberInfo& m = (*members)[index];
        // One block: the description, then its parameters.
        auto* f = NewBlock<FUNCDESC>(sizeof(FUNCDESC) + m.Params.size() * sizeof(ELEMDESC));
        auto* params = reinterpret_cast<ELEMDESC*>(reinterpret_cast<unsigned char*>(f) + sizeof(FUNCDESC));
        f->memid = m.Id;
        f->lprgelemdescParam = m.Params.empty() ? nullptr : params;
        f->funckind = FUNC_DISPATCH;
        f->invkind = static_cast<std::int32_t>(m.Kind);
        f->callconv = CC_STDCALL;
        f->cParams = static_cast<std::int16_t>(m.Params.size());
        // The native slot of a dual member follows IUnknown's three and IDispatch's four.
        f->oVft = index_ == kIKubrixX ? static_cast<std::int16_t>((7 + index) * sizeof(void*)) : 0;
        Describe(f->elemdescFunc.tdesc, m.Result, m.ResultEnum);
        for (std::size_t p = 0; p < m.Params.size(); ++p) {
            const TParamInfo& param = m.Params[p];
            Describe(params[p].tdesc, param.Type, param.Enum);
            params[p].paramdesc.wParamFlags =
                (param.Type & VT_BYREF) ? PARAMFLAG_FIN | PARAMFLAG_FOUT : PARAMFLAG_FIN;
        }
        *desc = f;
        return S_OK;
    }
    HRESULT GetVarDesc(std::uint32_t index, VARDESC** desc) override {
        if (!desc) return E_POINTER;
        *desc = nullptr;
        if (index_ < kFirstEnum || index >= Enum().Values.size()) return TYPE_E_ELEMENTNOTFOUND;
        auto* v = NewBlock<VARDESC>(sizeof(VARDESC) + sizeof(VARIANT));
        auto* value = reinterpret_cast<VARIANT*>(reinterpret_cast<unsigned char*>(v) + sizeof(VARDESC));
        value->vt = VT_I4;
        value->lVal = Enum().Values[index].second;
        v->memid = static_cast<MEMBERID>(0x40000000 + index);
        v->lpvarValue = value;
        v->elemdescVar.tdesc.vt = VT_I4;
        v->varkind = VAR_CONST;
        *desc = v;
        return S_OK;
    }
    HRESULT GetNames(MEMBERID id, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) override {
        if (!names || !count) return E_POINTER;
        *count = 0;
        if (const auto* members = Members()) {
            // A setter's names are those of the getter and its value, so the first match is enough.
            for (const auto& m : *members)
                if (m.Id == id) {
                    if (maxNames > 0) names[(*count)++] = SysAllocString(m.Name);
                    for (const auto& p : m.Params)
                        if (*count < maxNames) names[(*count)++] = SysAllocString(p.Name);
                    return S_OK;
                }
        } else if (index_ >= kFirstEnum) {
            const std::uint32_t i = static_cast<std::uint32_t>(id - 0x40000000);
            if (i < Enum().Values.size() && maxNames > 0) {
                names[(*count)++] = SysAllocString(Enum().Values[i].first);
                return S_OK;
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetRefTypeOfImplType(std::uint32_t index, HREFTYPE* ref) override {
        if (!ref) return E_POINTER;
        if (index_ != kCoclass || index > 1) return TYPE_E_ELEMENTNOTFOUND;
        *ref = index == 0 ? kIKubrixX : kEvents;
        return S_OK;
    }
    HRESULT GetImplTypeFlags(std::uint32_t index, std::int32_t* flags) override {
        if (!flags) return E_POINTER;
        if (index_ != kCoclass || index > 1) return TYPE_E_ELEMENTNOTFOUND;
        *flags = index == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        return S_OK;
    }
    HRESULT GetIDsOfNames(char16_t** names, std::uint32_t count, MEMBERID* ids) override {
        const auto* members = Members();
        if (!members) return DISP_E_UNKNOWNNAME;
        return IdsOfNames(*members, names, count, ids);
    }
    HRESULT Invoke(void* instance, MEMBERID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, std::uint32_t* argError) override {
        if (!instance) return E_INVALIDARG;
        if (index_ != kIKubrixX) return E_NOTIMPL;
        // The instance is the described interface, which dispatches by itself.
        return static_cast<IDispatch*>(instance)->Invoke(id, IID_NULL, 0, flags, params, result, exception, argError);
    }
    HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, std::uint32_t* helpContext,
                             BSTR* helpFile) override {
        if (helpContext) *helpContext = 0;
        Out(helpFile, nullptr);
        if (id == MEMBERID_NIL) {
            static const char16_t* const names[] = {u"IKubrixX", u"IKubrixXEvents", u"KubrixX"};
            static const char16_t* const docs[] = {u"Dispatch interface for KubrixX Control",
                                                   u"Events interface for KubrixX Control", u"KubrixX Control"};
            Out(name, index_ < kFirstEnum ? names[index_] : Enum().Name);
            Out(doc, index_ < kFirstEnum ? docs[index_] : nullptr);
            return S_OK;
        }
        if (const auto* members = Members()) {
            for (const auto& m : *members)
                if (m.Id == id) {
                    Out(name, m.Name);
                    Out(doc, nullptr);
                    if (doc && *m.Help) *doc = AllocWide(std::u16string(m.Help, m.Help + std::strlen(m.Help)));
                    return S_OK;
                }
        } else if (index_ >= kFirstEnum) {
            const std::uint32_t i = static_cast<std::uint32_t>(id - 0x40000000);
            if (i < Enum().Values.size()) {
                Out(name, Enum().Values[i].first);
                Out(doc, nullptr);
                return S_OK;
            }
        }
        Out(name, nullptr);
        Out(doc, nullptr);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetDllEntry(MEMBERID, std::int32_t, BSTR* dll, BSTR* name, std::uint16_t* ordinal) override {
        Out(dll, nullptr);
        Out(name, nullptr);
        if (ordinal) *ordinal = 0;
        return TYPE_E_ELEMENTNOTFOUND;  // no module entries: everything is dispatched
    }
    HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) override {
        return lib_.GetTypeInfo(ref, info);
    }
    HRESULT AddressOfMember(MEMBERID, std::int32_t, void** address) override {
        if (address) *address = nullptr;
        return E_NOTIMPL;
    }
    HRESULT CreateInstance(IUnknown*, const IID&, void** object) override {
        // Objects come from the class factory, which the host reaches through the registry.
        if (object) *object = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetMops(MEMBERID, BSTR* mops) override {
        Out(mops, nullptr);
        return S_OK;
    }
    HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) override {
        if (lib) *lib = &lib_;
        if (index) *index = index_;
        return S_OK;
    }
    void ReleaseTypeAttr(TYPEATTR* attr) override { std::free(attr); }
    void ReleaseFuncDesc(FUNCDESC* desc) override { std::free(desc); }
    void ReleaseVarDesc(VARDESC* desc) override { std::free(desc); }

private:
    const std::vector<TMemberInfo>* Members() const {
        if (index_ == kIKubrixX) return &KubrixXMembers();
        if (index_ == kEvents) return &KubrixXEventMembers();
        return nullptr;
    }
    const TEnumInfo& Enum() const { return KubrixEnums()[index_ - kFirstEnum]; }

    std::uint32_t index_;
    ITypeLib& lib_;
};

class TTypeLib final : public ITypeLib {
public:
    TTypeLib() {
        for (std::uint32_t i = 0; i < kTypeCount; ++i) owned_[i] = std::make_unique<TTypeInfo>(i, *this);
        for (std::uint32_t i = 0; i < kTypeCount; ++i) infos_[i] = owned_[i].get();
    }

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITypeLib) {
            *object = static_cast<ITypeLib*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }

    std::uint32_t GetTypeInfoCount() override { return kTypeCount; }
    HRESULT GetTypeInfo(std::uint32_t index, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = index < kTypeCount ? infos_[index] : nullptr;
        return *info ? S_OK : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetTypeInfoType(std::uint32_t index, std::int32_t* kind) override {
        if (!kind) return E_POINTER;
        if (index >= kTypeCount) return TYPE_E_ELEMENTNOTFOUND;
        *kind = index <= kEvents ? TKIND_DISPATCH : index == kCoclass ? TKIND_COCLASS : TKIND_ENUM;
        return S_OK;
    }
    HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = guid == IID_IKubrixX ? infos_[kIKubrixX]
              : guid == DIID_IKubrixXEvents ? infos_[kEvents]
              : guid == CLASS_KubrixX ? infos_[kCoclass] : nullptr;
        return *info ? S_OK : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(TLIBATTR** attr) override {
        if (!attr) return E_POINTER;
        auto* a = NewBlock<TLIBATTR>(sizeof(TLIBATTR));
        a->guid = LIBID_KubrixProj;
        a->syskind = sizeof(void*) == 8 ? 3 : 1;  // 64-bit or 32-bit
        a->wMajorVerNum = 1;
        a->wLibFlags = LIBFLAG_FCONTROL;
        *attr = a;
        return S_OK;
    }
    HRESULT GetTypeComp(void** comp) override {
        if (comp) *comp = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetDocumentation(std::int32_t index, BSTR* name, BSTR* doc, std::uint32_t* helpContext,
                             BSTR* helpFile) override {
        if (index == -1) {
            Out(name, u"KubrixProj");
            Out(doc, u"KubrixProj Library");
            Out(helpFile, nullptr);
            if (helpContext) *helpContext = 0;
            return S_OK;
        }
        if (index < 0 || std::uint32_t(index) >= kTypeCount) return TYPE_E_ELEMENTNOTFOUND;
        return infos_[index]->GetDocumentation(MEMBERID_NIL, name, doc, helpContext, helpFile);
    }
    HRESULT IsName(char16_t* name, std::uint32_t, std::int32_t* found) override {
        if (!name || !found) return E_POINTER;
        std::uint16_t n = 1;
        ITypeInfo* info = nullptr;
        MEMBERID id = 0;
        *found = Succeeded(FindName(name, 0, &info, &id, &n)) && n > 0;
        return S_OK;
    }
    HRESULT FindName(char16_t* name, std::uint32_t, ITypeInfo** infos, MEMBERID* ids, std::uint16_t* found) override {
        if (!name || !infos || !ids || !found) return E_POINTER;
        const std::uint16_t max = *found;
        std::uint16_t n = 0;
        const auto add = [&](std::uint32_t index, MEMBERID id) {
            if (n < max) {
                infos[n] = infos_[index];
                ids[n++] = id;
            }
        };
        static const char16_t* const typeNames[] = {u"IKubrixX", u"IKubrixXEvents", u"KubrixX"};
        for (std::uint32_t i = 0; i < kTypeCount; ++i) {
            if (SameName(name, i < kFirstEnum ? typeNames[i] : KubrixEnums()[i - kFirstEnum].Name)) add(i, MEMBERID_NIL);
        }
        for (const auto& m : KubrixXMembers())
            if (SameName(name, m.Name) && m.Kind != TMemberKind::Put && m.Kind != TMemberKind::PutRef) add(kIKubrixX, m.Id);
        for (const auto& m : KubrixXEventMembers())
            if (SameName(name, m.Name)) add(kEvents, m.Id);
        *found = n;
        return S_OK;
    }
    void ReleaseTLibAttr(TLIBATTR* attr) override { std::free(attr); }

private:
    std::unique_ptr<TTypeInfo> owned_[kTypeCount];
    TTypeInfo* infos_[kTypeCount];
};

}  // namespace

ITypeLib& KubrixTypeLibrary() {
    // Never destroyed: a host may still hold a type info while the process ends.
    static TTypeLib* lib = new TTypeLib();
    return *lib;
}

}  // namespace kubrix
