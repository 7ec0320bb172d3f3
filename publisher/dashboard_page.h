// The dashboard as one self-contained HTML page: the figures of one release with its charts drawn
// here as SVG, so the page needs nothing from anywhere when it loads. Every text that came from a
// player is escaped. Each figure carries a data-figure attribute naming it, for scripts and tests.
#ifndef PUBLISHER_DASHBOARD_PAGE_H
#define PUBLISHER_DASHBOARD_PAGE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "publisher/dashboard_figures.h"

namespace publisher {

std::string dashboardPage(const DashboardFigures& figures, const std::vector<std::string>& games);

// "45 s", "12 min 05 s", "2 h 03 min".
std::string formatDuration(int64_t seconds);
// KiB/s as "850 KiB/s" or "12.3 MiB/s".
std::string formatSpeed(int64_t kibPerSecond);
// Bars of counts, longest first as given, drawn to scale of the largest.
std::string svgBars(const std::vector<LabelCount>& items, const std::string& colour);

}  // namespace publisher

#endif
