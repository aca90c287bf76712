// Writes the sample scene and the test scenes; run by the build.
//   scenegen <folder for sample_vr.sce> <folder for the test scenes>
#include <exception>
#include <iostream>

#include "SampleScene.h"
#include "TestCorpus.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: scenegen <sample folder> <test scene folder>\n";
    return 2;
  }
  try {
    scenegen::writeSampleScene(argv[1]);
    scenegen::writeTestCorpus(argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "scenegen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
