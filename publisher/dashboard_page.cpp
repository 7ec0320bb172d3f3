#include "publisher/dashboard_page.h"

#include <stdio.h>

#include <algorithm>

#include "publisher/text_checks.h"
#include "publisher/xml_answers.h"
#include "web/query.h"

namespace publisher {
namespace {

// Text on the page: escaped, and with no control character (players' text is stored as sent).
std::string pageText(std::string_view text) { return xmlEscape(displayable(text)); }

std::string percentOf(int64_t part, int64_t whole) {
  if (whole <= 0) return "";
  char text[32];
  snprintf(text, sizeof text, " (%.1f %%)", 100.0 * static_cast<double>(part) / static_cast<double>(whole));
  return text;
}

std::string figure(const char* name, const std::string& label, const std::string& value, const std::string& note = "") {
  return "<div class=\"figure\"><div class=\"value\" data-figure=\"" + std::string(name) + "\">" + pageText(value) +
         "</div><div class=\"label\">" + pageText(label) + pageText(note) + "</div></div>\n";
}

std::string spreadRow(const char* name, const std::string& label, const Spread& spread,
                      std::string (*format)(int64_t)) {
  if (spread.count == 0) {
    return "<tr><th>" + pageText(label) + "</th><td colspan=\"4\" data-figure=\"" + name + "-median\">none yet</td></tr>\n";
  }
  return "<tr><th>" + pageText(label) + "</th><td data-figure=\"" + name + "-p10\">" + format(spread.p10) +
         "</td><td data-figure=\"" + name + "-median\">" + format(spread.median) + "</td><td data-figure=\"" + name +
         "-p90\">" + format(spread.p90) + "</td><td data-figure=\"" + name + "-p99\">" + format(spread.p99) +
         "</td></tr>\n";
}

std::string section(const std::string& title, const std::string& body) {
  return "<section><h2>" + pageText(title) + "</h2>\n" + body + "</section>\n";
}

}  // namespace

std::string formatDuration(int64_t seconds) {
  char text[48];
  if (seconds < 60) {
    snprintf(text, sizeof text, "%lld s", static_cast<long long>(seconds));
  } else if (seconds < 3600) {
    snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(seconds / 60),
             static_cast<long long>(seconds % 60));
  } else {
    snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(seconds / 3600),
             static_cast<long long>(seconds % 3600 / 60));
  }
  return text;
}

std::string formatSpeed(int64_t kibPerSecond) {
  char text[48];
  if (kibPerSecond < 1024) {
    snprintf(text, sizeof text, "%lld KiB/s", static_cast<long long>(kibPerSecond));
  } else {
    snprintf(text, sizeof text, "%.1f MiB/s", static_cast<double>(kibPerSecond) / 1024.0);
  }
  return text;
}

std::string svgBars(const std::vector<LabelCount>& items, const std::string& colour) {
  constexpr int kWidth = 520;
  constexpr int kLabelWidth = 230;
  constexpr int kRow = 26;
  if (items.empty()) return "<p class=\"empty\">none yet</p>\n";
  int64_t largest = 1;
  for (const LabelCount& item : items) largest = std::max(largest, item.count);
  const int height = static_cast<int>(items.size()) * kRow;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) + "\" height=\"" +
                    std::to_string(height) + "\" role=\"img\">\n";
  for (size_t i = 0; i < items.size(); ++i) {
    const int y = static_cast<int>(i) * kRow;
    const int bar = static_cast<int>((kWidth - kLabelWidth - 70) * items[i].count / largest);
    // Long labels are cut at a character boundary (UTF-8 continuation bytes are 10xxxxxx).
    std::string label = items[i].label;
    if (label.size() > 30) {
      size_t cut = 29;
      while (cut > 0 && (static_cast<unsigned char>(label[cut]) & 0xC0) == 0x80) --cut;
      label = label.substr(0, cut) + "\xE2\x80\xA6";
    }
    svg += "<text x=\"0\" y=\"" + std::to_string(y + 17) + "\">" + pageText(label) + "</text>";
    svg += "<rect x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(y + 4) + "\" width=\"" +
           std::to_string(std::max(bar, 1)) + "\" height=\"18\" fill=\"" + colour + "\"/>";
    svg += "<text x=\"" + std::to_string(kLabelWidth + bar + 6) + "\" y=\"" + std::to_string(y + 17) + "\">" +
           std::to_string(items[i].count) + "</text>\n";
  }
  return svg + "</svg>\n";
}

std::string dashboardPage(const DashboardFigures& f, const std::vector<std::string>& games) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + pageText(f.game) + " release " +
      std::to_string(f.release) +
      " - game server dashboard</title>\n<style>\n"
      "body{font-family:'Liberation Sans',Arial,sans-serif;margin:24px;color:#1d2330;background:#f4f6fa}\n"
      "h1{font-size:22px;margin:0 0 4px} h2{font-size:16px;margin:0 0 10px}\n"
      "nav a{margin-right:10px;color:#2457c5} nav .current{font-weight:bold;color:#1d2330}\n"
      ".figures{display:grid;grid-template-columns:repeat(7,1fr);gap:10px;margin:16px 0}\n"
      ".figure{background:#fff;border-radius:6px;padding:10px 12px;box-shadow:0 1px 2px #0002}\n"
      ".value{font-size:26px;font-weight:bold} .label{font-size:12px;color:#5a6375}\n"
      "section{background:#fff;border-radius:6px;padding:14px 16px;margin:12px 0;box-shadow:0 1px 2px #0002}\n"
      "table{border-collapse:collapse} th,td{text-align:left;padding:4px 12px 4px 0;font-size:14px}\n"
      "svg text{font-size:13px;fill:#1d2330} .grid{display:grid;grid-template-columns:repeat(2,560px);gap:12px}\n"
      ".empty{color:#5a6375}\n</style></head><body>\n";
  html += "<h1>" + pageText(f.game) + ", release " + std::to_string(f.release) +
          (f.release == f.current ? " (current)" : "") + "</h1>\n<nav>Games: ";
  for (const std::string& game : games) {
    html += "<a href=\"/dashboard?game=" + web::percentEncode(game) + "\"" +
            (game == f.game ? " class=\"current\"" : "") + ">" + pageText(game) + "</a>";
  }
  html += " &middot; Releases: ";
  for (int64_t release : f.releases) {
    html += "<a href=\"/dashboard?game=" + web::percentEncode(f.game) + "&amp;release=" + std::to_string(release) +
            "\"" + (release == f.release ? " class=\"current\"" : "") + ">" + std::to_string(release) + "</a>";
  }
  html += "</nav>\n<div class=\"figures\">\n";
  html += figure("sids", "sids given out", std::to_string(f.sids));
  html += figure("started", "runs started", std::to_string(f.started));
  html += figure("declined", "licence declined", std::to_string(f.declined), percentOf(f.declined, f.started));
  html += figure("completed", "completed", std::to_string(f.completed), percentOf(f.completed, f.started));
  html += figure("cancelled", "cancelled by the player", std::to_string(f.cancelled), percentOf(f.cancelled, f.started));
  html += figure("failed", "failed", std::to_string(f.failed), percentOf(f.failed, f.started));
  html += figure("running", "still running or unheard of", std::to_string(f.running));
  html += "</div>\n";

  html += section("How runs ended",
                  svgBars({{"completed", f.completed}, {"failed", f.failed}, {"cancelled", f.cancelled},
                           {"licence declined", f.declined}, {"running", f.running}},
                          "#2f9e6a"));
  std::string failures;
  if (f.failures.empty()) {
    failures = "<p class=\"empty\">no failed run</p>\n";
  } else {
    failures = "<table><tr><th>reason</th><th>code</th><th>runs</th></tr>\n";
    for (size_t i = 0; i < f.failures.size(); ++i) {
      const std::string n = std::to_string(i + 1);
      failures += "<tr><td data-figure=\"failure-" + n + "\">" + pageText(f.failures[i].description) +
                  "</td><td data-figure=\"failure-" + n + "-code\">" + std::to_string(f.failures[i].code) +
                  "</td><td data-figure=\"failure-" + n + "-runs\">" + std::to_string(f.failures[i].count) +
                  "</td></tr>\n";
    }
    failures += "</table>\n";
  }
  html += section("Why runs failed", failures);
  html += section("Complete downloads",
                  "<table><tr><th></th><th>10th percentile</th><th>median</th><th>90th</th><th>99th</th></tr>\n" +
                      spreadRow("seconds", "time to complete", f.seconds, formatDuration) +
                      spreadRow("speed", "average speed", f.speed, formatSpeed) + "</table>\n");
  html += "<div class=\"grid\">\n";
  html += section("Operating systems", svgBars(f.os, "#2457c5"));
  html += section("Screens", svgBars(f.screen, "#7a4cc2"));
  html += section("Languages", svgBars(f.language, "#c2714c"));
  html += section("Graphics", svgBars(f.graphics, "#4c9ec2"));
  html += "</div>\n</body></html>\n";
  return html;
}

}  // namespace publisher
