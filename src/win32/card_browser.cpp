#include "win32/card_browser.h"

// clang-format off
#include <ole2.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>
#include <urlmon.h>
// clang-format on

#include <cstdio>

#include "core/text/cp932.h"
#include "core/text/wide_text.h"

namespace velmora::win32 {
namespace {

// The HTML document engine of the control (mshtml).
constexpr CLSID kHtmlDocument = {
    0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// What the page may do in the control: no downloads of programs, no ActiveX,
// no Java, no frames fetched, no prompts; its own script and pictures run.
constexpr LONG kDownloadControl = DLCTL_DLIMAGES | DLCTL_NO_JAVA | DLCTL_NO_DLACTIVEXCTLS |
                                  DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_BEHAVIORS |
                                  DLCTL_NO_FRAMEDOWNLOAD | DLCTL_SILENT;

void LockDownProcess() {
    static const bool done = [] {
        const INTERNETFEATURELIST features[] = {
            FEATURE_LOCALMACHINE_LOCKDOWN, FEATURE_RESTRICT_ACTIVEXINSTALL,
            FEATURE_RESTRICT_FILEDOWNLOAD, FEATURE_BLOCK_INPUT_PROMPTS,
            FEATURE_ZONE_ELEVATION,        FEATURE_WEBOC_POPUPMANAGEMENT,
            FEATURE_DISABLE_MK_PROTOCOL,   FEATURE_DISABLE_TELNET_PROTOCOL,
            FEATURE_MIME_HANDLING,         FEATURE_SAFE_BINDTOOBJECT};
        for (const INTERNETFEATURELIST f : features)
            CoInternetSetFeatureEnabled(f, SET_FEATURE_ON_PROCESS, TRUE);
        return true;
    }();
    (void)done;
}

}  // namespace

// The site the control lives in: client site, in-place site and frame, UI
// handler, ambient properties and the sink of the browser's events, in one
// object whose life is counted by COM.
struct CardBrowser::Host final : public IOleClientSite,
                                 public IOleInPlaceSite,
                                 public IOleInPlaceFrame,
                                 public IDocHostUIHandler,
                                 public IDispatch {
    HWND parent = nullptr;
    RECT rect{};
    Launcher launcher;
    IOleObject* object = nullptr;
    IWebBrowser2* browser = nullptr;
    IConnectionPoint* events = nullptr;
    DWORD cookie = 0;
    LONG refs = 1;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleInPlaceSite || iid == IID_IOleWindow)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceFrame || iid == IID_IOleInPlaceUIWindow)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else if (iid == IID_IDocHostUIHandler)
            *out = static_cast<IDocHostUIHandler*>(this);
        else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2)
            *out = static_cast<IDispatch*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the site and the frame)
    STDMETHODIMP GetWindow(HWND* w) override {
        *w = parent;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *doc = nullptr;
        *pos = rect;
        *clip = rect;
        info->fMDIApp = FALSE;
        info->hwndFrame = parent;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT r) override {
        IOleInPlaceObject* inPlace = nullptr;
        if (object && SUCCEEDED(object->QueryInterface(IID_IOleInPlaceObject,
                                                       reinterpret_cast<void**>(&inPlace)))) {
            inPlace->SetObjectRects(r, r);
            inPlace->Release();
        }
        return S_OK;
    }

    // IOleInPlaceUIWindow and IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler: no context menu, no border, no scroll bars, no keys.
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_OK; }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO | DOCHOSTUIFLAG_DIALOG |
                        DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_DISABLE_SCRIPT_INACTIVE |
                        DOCHOSTUIFLAG_LOCAL_MACHINE_ACCESS_CHECK;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override {
        // Every key is the host's: nothing can be typed into the cards.
        return S_OK;
    }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        *key = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
        *target = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override {
        *external = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) override {
        *out = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) override {
        *out = nullptr;
        return S_FALSE;
    }

    // IDispatch: ambient properties and the browser's events.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        switch (id) {
            case DISPID_AMBIENT_DLCONTROL:
                if (!result) return E_INVALIDARG;
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = kDownloadControl;
                return S_OK;
            case DISPID_NEWWINDOW3:
                // Arguments come last first: bstrUrl, bstrUrlContext, dwFlags, Cancel, ppDisp.
                if (params && params->cArgs >= 5) {
                    Cancel(params->rgvarg[3]);
                    Launch(params->rgvarg[0]);
                }
                return S_OK;
            case DISPID_NEWWINDOW2:
                if (params && params->cArgs >= 2) Cancel(params->rgvarg[0]);
                return S_OK;
            case DISPID_BEFORENAVIGATE2:
                // Cancel, Headers, PostData, TargetFrameName, Flags, URL, pDisp.
                if (params && params->cArgs >= 7 && !IsBlank(params->rgvarg[5])) {
                    Cancel(params->rgvarg[0]);
                    Launch(params->rgvarg[5]);
                }
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

    static const wchar_t* Text(const VARIANT& v) {
        const VARIANT* p = v.vt == (VT_BYREF | VT_VARIANT) ? v.pvarVal : &v;
        if (p->vt == VT_BSTR) return p->bstrVal;
        if (p->vt == (VT_BYREF | VT_BSTR)) return *p->pbstrVal;
        return nullptr;
    }
    static bool IsBlank(const VARIANT& v) {
        const wchar_t* url = Text(v);
        return !url || lstrcmpiW(url, L"about:blank") == 0;
    }
    static void Cancel(VARIANT& v) {
        if (v.vt == (VT_BYREF | VT_BOOL)) *v.pboolVal = VARIANT_TRUE;
    }
    void Launch(const VARIANT& v) const {
        const wchar_t* url = Text(v);
        if (url && launcher)
            launcher(text::Utf8ToCp932(text::WideToUtf8(url)), AddressOrigin::Feed);
    }
};

std::unique_ptr<CardBrowser> CardBrowser::Create(HWND parent, RECT rect, Launcher launcher,
                                                 std::string* why) {
    const HRESULT init = OleInitialize(nullptr);
    if (FAILED(init)) {
        *why = "OLE cannot be initialised (" + Hex(init) + ")";
        return nullptr;
    }
    LockDownProcess();
    std::unique_ptr<CardBrowser> self(new CardBrowser);
    auto* host = new Host;
    self->host_ = host;
    host->parent = parent;
    host->rect = rect;
    host->launcher = std::move(launcher);

    // The control comes without its HTML engine on some systems (Wine
    // without Gecko): it would show blank pages, so it is not taken.
    IUnknown* engine = nullptr;
    HRESULT hr = CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&engine));
    if (FAILED(hr)) {
        *why = "no HTML document engine (CoCreateInstance(CLSID_HTMLDocument) " + Hex(hr) + ")";
        return nullptr;
    }
    engine->Release();
    hr = CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                          reinterpret_cast<void**>(&host->object));
    if (FAILED(hr)) {
        *why = "CoCreateInstance(CLSID_WebBrowser) failed (" + Hex(hr) + ")";
        return nullptr;
    }
    hr = host->object->SetClientSite(static_cast<IOleClientSite*>(host));
    if (SUCCEEDED(hr))
        hr = host->object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                  static_cast<IOleClientSite*>(host), 0, parent, &rect);
    if (SUCCEEDED(hr))
        hr = host->object->QueryInterface(IID_IWebBrowser2,
                                          reinterpret_cast<void**>(&host->browser));
    if (FAILED(hr)) {
        *why = "the WebBrowser control cannot be embedded (" + Hex(hr) + ")";
        return nullptr;
    }
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(host->browser->QueryInterface(IID_IConnectionPointContainer,
                                                reinterpret_cast<void**>(&points)))) {
        if (SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &host->events)))
            host->events->Advise(static_cast<IDispatch*>(host), &host->cookie);
        points->Release();
    }
    if (!host->cookie) {
        // Without the events a link would open a window of the control's own.
        *why = "the WebBrowser control's events cannot be had";
        return nullptr;
    }
    host->browser->put_Silent(VARIANT_TRUE);
    host->browser->put_RegisterAsDropTarget(VARIANT_FALSE);
    return self;
}

CardBrowser::~CardBrowser() {
    if (!host_) return;
    if (host_->events) {
        if (host_->cookie) host_->events->Unadvise(host_->cookie);
        host_->events->Release();
    }
    if (host_->browser) host_->browser->Release();
    if (host_->object) {
        host_->object->Close(OLECLOSE_NOSAVE);
        host_->object->SetClientSite(nullptr);
        host_->object->Release();
    }
    host_->Release();
}

bool CardBrowser::Navigate(const wchar_t* address) {
    BSTR url = SysAllocString(address);
    if (!url) return false;
    VARIANT empty;
    VariantInit(&empty);
    const HRESULT hr = host_->browser->Navigate(url, &empty, &empty, &empty, &empty);
    SysFreeString(url);
    return SUCCEEDED(hr);
}

int CardBrowser::ReadyState() const {
    READYSTATE state = READYSTATE_UNINITIALIZED;
    if (FAILED(host_->browser->get_ReadyState(&state))) return 0;
    return static_cast<int>(state);
}

bool CardBrowser::Write(const std::string& cp932Page) {
    IDispatch* document = nullptr;
    if (FAILED(host_->browser->get_Document(&document)) || !document) return false;
    IHTMLDocument2* html = nullptr;
    HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
    document->Release();
    if (FAILED(hr) || !html) return false;
    SAFEARRAY* lines = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    bool ok = false;
    if (lines) {
        VARIANT* element = nullptr;
        const std::wstring wide = text::Cp932ToWide(cp932Page);
        if (SUCCEEDED(SafeArrayAccessData(lines, reinterpret_cast<void**>(&element)))) {
            element->vt = VT_BSTR;
            element->bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
            SafeArrayUnaccessData(lines);
            ok = element->bstrVal && SUCCEEDED(html->write(lines)) && SUCCEEDED(html->close());
        }
        SafeArrayDestroy(lines);
    }
    html->Release();
    return ok;
}

void CardBrowser::Move(RECT rect) {
    host_->rect = rect;
    IOleInPlaceObject* inPlace = nullptr;
    if (SUCCEEDED(host_->object->QueryInterface(IID_IOleInPlaceObject,
                                                reinterpret_cast<void**>(&inPlace)))) {
        inPlace->SetObjectRects(&rect, &rect);
        inPlace->Release();
    }
}

}  // namespace velmora::win32
