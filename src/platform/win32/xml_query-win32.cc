// XML path queries with the system's MSXML ("Microsoft.XMLDOM") through COM.
// Bytes travel as code page 1252 both ways, which maps every byte to one
// character and back.
#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include "language/text_value.h"
#include "platform/xml_query.h"

namespace platform {
namespace {

constexpr UINT kBytesCodePage = 1252;

// IID_IXMLDOMDocument2, which mingw's import libraries lack.
const IID kXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

BSTR ToBstr(const std::string& bytes) {
  int n = MultiByteToWideChar(kBytesCodePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  BSTR b = SysAllocStringLen(nullptr, UINT(n));
  if (b && n) MultiByteToWideChar(kBytesCodePage, 0, bytes.data(), int(bytes.size()), b, n);
  return b;
}

std::string FromBstr(BSTR b) {
  if (!b) return std::string();
  int len = int(SysStringLen(b));
  int n = WideCharToMultiByte(kBytesCodePage, 0, b, len, nullptr, 0, nullptr, nullptr);
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(kBytesCodePage, 0, b, len, bytes.data(), n, nullptr, nullptr);
  return bytes;
}

class MsxmlQuery : public XmlQuery {
 public:
  MsxmlQuery() {
    // S_FALSE and RPC_E_CHANGED_MODE both leave COM usable on this thread.
    HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    uninit_ = SUCCEEDED(init);
    CLSID clsid;
    if (SUCCEEDED(CLSIDFromProgID(L"Microsoft.XMLDOM", &clsid)))
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, reinterpret_cast<void**>(&doc_));
    if (doc_) {
      doc_->put_async(VARIANT_FALSE);
      doc_->put_validateOnParse(VARIANT_FALSE);
      doc_->put_resolveExternals(VARIANT_FALSE);
      // No DTD at all, should one get past WithinXmlLimits; an MSXML that
      // does not know the property refuses it harmlessly.
      IXMLDOMDocument2* doc2 = nullptr;
      if (SUCCEEDED(doc_->QueryInterface(kXmlDomDocument2, reinterpret_cast<void**>(&doc2))) && doc2) {
        VARIANT on;
        VariantInit(&on);
        on.vt = VT_BOOL;
        on.boolVal = VARIANT_TRUE;
        BSTR name = SysAllocString(L"ProhibitDTD");
        doc2->setProperty(name, on);
        SysFreeString(name);
        doc2->Release();
      }
    }
  }
  ~MsxmlQuery() override {
    if (doc_) doc_->Release();
    if (uninit_) CoUninitialize();
  }

  bool Load(const std::string& text) override {
    loaded_ = false;
    if (!doc_ || !WithinXmlLimits(text)) return false;
    BSTR b = ToBstr(text);
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc_->loadXML(b, &ok);
    SysFreeString(b);
    loaded_ = SUCCEEDED(hr) && ok == VARIANT_TRUE;
    return loaded_;
  }

  bool SelectText(const std::string& path, std::string* text) override {
    if (!doc_ || !loaded_) return false;
    BSTR query = ToBstr(path);
    IXMLDOMNode* node = nullptr;
    HRESULT hr = doc_->selectSingleNode(query, &node);
    SysFreeString(query);
    if (hr != S_OK || !node) return false;
    BSTR value = nullptr;
    node->get_text(&value);
    *text = language::Trimmed(FromBstr(value), " \t\r\n");
    SysFreeString(value);
    node->Release();
    return true;
  }

 private:
  IXMLDOMDocument* doc_ = nullptr;
  bool uninit_ = false;
  bool loaded_ = false;
};

}  // namespace

std::unique_ptr<XmlQuery> XmlQuery::Create() { return std::make_unique<MsxmlQuery>(); }

}  // namespace platform
