// Entry of the UI tests: GDI+ runs for the whole process, as it does in the program.
#include <gtest/gtest.h>

#include "ui/single_instance.h"

int main(int argc, char** argv) {
  GdiplusSession gdiplus;
  testing::InitGoogleTest(&argc, argv);
  if (!gdiplus.Started()) {
    fprintf(stderr, "GDI+ did not start\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
