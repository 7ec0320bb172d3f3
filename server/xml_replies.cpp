#include "server/xml_replies.h"

#include <windows.h>
#include <objbase.h>
#include <msxml2.h>
#include <oleauto.h>

#include <algorithm>
#include <cwctype>

namespace {

// The version-independent DOMDocument class and its IXMLDOMDocument interface.
const CLSID kDomDocumentClass = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kDomDocumentInterface = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kDomDocument2Interface = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

template <typename T>
void release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

// COM for the calling thread (the HTTP stack's worker) for as long as a parse runs.
class ComForThisThread {
 public:
  ComForThisThread() : started_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~ComForThisThread() {
    if (started_) CoUninitialize();
  }

 private:
  bool started_;
};

class BString {
 public:
  explicit BString(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~BString() { SysFreeString(value_); }
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// A loaded document, or none; parsing with document types refused and nothing external fetched.
class XmlDocument {
 public:
  explicit XmlDocument(const std::wstring& answer) {
    if (DeclaresDocumentType(answer)) return;
    if (FAILED(CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_ALL, kDomDocumentInterface,
                                reinterpret_cast<void**>(&document_)))) {
      document_ = nullptr;
      return;
    }
    document_->put_async(VARIANT_FALSE);
    document_->put_validateOnParse(VARIANT_FALSE);
    document_->put_resolveExternals(VARIANT_FALSE);
    IXMLDOMDocument2* settings = nullptr;
    if (SUCCEEDED(document_->QueryInterface(kDomDocument2Interface, reinterpret_cast<void**>(&settings)))) {
      VARIANT on;
      VariantInit(&on);
      on.vt = VT_BOOL;
      on.boolVal = VARIANT_TRUE;
      BString name(L"ProhibitDTD");
      settings->setProperty(name.get(), on);
      release(settings);
    }
    BString text(answer);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document_->loadXML(text.get(), &loaded);
    document_->get_documentElement(&root_);
  }
  ~XmlDocument() {
    release(root_);
    release(document_);
  }
  IXMLDOMElement* root() const { return root_; }

 private:
  IXMLDOMDocument* document_ = nullptr;
  IXMLDOMElement* root_ = nullptr;
};

bool isElementNamed(IXMLDOMNode* node, const wchar_t* name) {
  DOMNodeType type = NODE_INVALID;
  if (FAILED(node->get_nodeType(&type)) || type != NODE_ELEMENT) return false;
  BSTR tag = nullptr;
  if (FAILED(node->get_nodeName(&tag)) || tag == nullptr) return false;
  bool same = SysStringLen(tag) == wcslen(name) && wcscmp(tag, name) == 0;
  SysFreeString(tag);
  return same;
}

// Calls visit for every direct child node, in document order, until it returns false.
template <typename Visit>
void forEachChild(IXMLDOMNode* parent, Visit visit) {
  IXMLDOMNode* child = nullptr;
  if (FAILED(parent->get_firstChild(&child))) return;
  while (child != nullptr) {
    bool goOn = visit(child);
    IXMLDOMNode* next = nullptr;
    if (goOn && FAILED(child->get_nextSibling(&next))) next = nullptr;
    release(child);
    if (!goOn) break;
    child = next;
  }
}

// The first direct child element with exactly this tag, or null; the caller releases it.
IXMLDOMNode* firstChildElement(IXMLDOMNode* parent, const wchar_t* name) {
  IXMLDOMNode* found = nullptr;
  forEachChild(parent, [&](IXMLDOMNode* child) {
    if (!isElementNamed(child, name)) return true;
    child->AddRef();
    found = child;
    return false;
  });
  return found;
}

// The element's typed value when it is a string (its text for plain elements), else empty.
std::wstring textOf(IXMLDOMNode* element) {
  std::wstring text;
  VARIANT value;
  VariantInit(&value);
  if (SUCCEEDED(element->get_nodeTypedValue(&value)) && value.vt == VT_BSTR && value.bstrVal != nullptr) {
    text.assign(value.bstrVal, SysStringLen(value.bstrVal));
  }
  VariantClear(&value);
  return text;
}

// The text of parent's first child element named name; false when there is none.
bool childText(IXMLDOMNode* parent, const wchar_t* name, std::wstring* text) {
  IXMLDOMNode* child = firstChildElement(parent, name);
  if (child == nullptr) return false;
  *text = textOf(child);
  release(child);
  return true;
}

}  // namespace

bool DeclaresDocumentType(const std::wstring& answer) {
  std::wstring upper(answer);
  std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return std::towupper(c); });
  return upper.find(L"<!DOCTYPE") != std::wstring::npos || upper.find(L"<!ENTITY") != std::wstring::npos;
}

std::optional<std::wstring> ParseSidReply(const std::wstring& answer) {
  ComForThisThread com;
  XmlDocument document(answer);
  std::wstring sid;
  if (document.root() == nullptr || !childText(document.root(), L"sid", &sid)) return std::nullopt;
  return sid;
}

std::unique_ptr<GameConfig> ParseConfigReply(const std::wstring& answer) {
  ComForThisThread com;
  auto config = std::make_unique<GameConfig>();
  XmlDocument document(answer);
  if (document.root() == nullptr) return config;
  childText(document.root(), L"file_id", &config->fileId);
  IXMLDOMNode* resources = firstChildElement(document.root(), L"resources");
  if (resources == nullptr) return config;
  forEachChild(resources, [&](IXMLDOMNode* entry) {
    ResourceFile file;
    DOMNodeType type = NODE_INVALID;
    if (SUCCEEDED(entry->get_nodeType(&type)) && type == NODE_ELEMENT) {
      childText(entry, L"rid", &file.rid);
      childText(entry, L"rnum", &file.rnum);
      childText(entry, L"uri", &file.uri);
      std::wstring digest;
      if (childText(entry, L"sha256", &digest)) file.sha256Text = digest;
    }
    config->files.push_back(std::move(file));
    return true;
  });
  release(resources);
  return config;
}
