#include "download/sample_window.h"

void SampleWindow::Record(uint64_t rate, int64_t now, int64_t intervalSeconds) {
  if (sum == 0) {
    sum = rate;
    count = 1;
    lastTime = now;
    return;
  }
  const int64_t elapsed = now - lastTime;
  if (elapsed > intervalSeconds || elapsed < 0) {
    sum += rate;
    count += 1;
    lastTime = now;
  }
}

uint64_t SampleWindow::MeanRate() const { return count == 0 ? 0 : sum / count; }
