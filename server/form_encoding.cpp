#include "server/form_encoding.h"

namespace {

void appendEscaped(std::wstring& form, const std::wstring& text) {
  for (wchar_t c : text) {
    switch (c) {
      case L'%': form += L"%25"; break;
      case L'&': form += L"%26"; break;
      case L'=': form += L"%3D"; break;
      case L'+': form += L"%2B"; break;
      default: form += c;
    }
  }
}

}  // namespace

std::wstring EncodeForm(const PropertyList& list) {
  std::wstring form;
  bool first = true;
  for (const PropertyList::Pair& pair : list) {
    if (!first) form += L'&';
    first = false;
    appendEscaped(form, pair.first);
    form += L'=';
    appendEscaped(form, pair.second);
  }
  return form;
}
