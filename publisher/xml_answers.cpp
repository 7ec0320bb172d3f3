#include "publisher/xml_answers.h"

namespace publisher {

std::string xmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string sidAnswer(std::string_view sid) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response><sid>" + xmlEscape(sid) + "</sid></response>\n";
}

std::string configAnswer(std::string_view fileId, const std::vector<ConfigEntry>& entries) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n  <file_id>" + xmlEscape(fileId) +
                    "</file_id>\n  <resources>\n";
  for (const auto& entry : entries) {
    xml += "    <file><rid>" + xmlEscape(entry.rid) + "</rid><rnum>" + xmlEscape(entry.rnum) + "</rnum><uri>" +
           xmlEscape(entry.uri) + "</uri>";
    if (!entry.sha256.empty()) xml += "<sha256>" + xmlEscape(entry.sha256) + "</sha256>";
    xml += "</file>\n";
  }
  xml += "  </resources>\n</config>\n";
  return xml;
}

}  // namespace publisher
