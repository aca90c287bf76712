#pragma once
// Small scenes written by the end-to-end tests and the benches that run the real program.
#include <sstream>
#include <string>

// A magenta plate 2 x 2 scene units, facing the scene camera, centred at the origin, with
// more drawables after it when given.
inline std::string plateScene(const std::string& moreDrawables = std::string()) {
  return R"(format = quonix-scene
version = 1
camera { position = [0, 0, 5], focalPoint = [0, 0, 0] }
frameSets {
  plate {
    title = "Magenta plate"
    frames {
      only {
        drawables {
          plate {
            type = Surface
            name = "Plate Boundary"
            data {
              points = [-1, -1, 0,  1, -1, 0,  1, 1, 0,  -1, 1, 0]
              polys = [4, 0, 1, 2, 3]
            }
            base { color = [1, 0, 1] }
          }
)" + moreDrawables + R"(        }
      }
    }
  }
}
)";
}

// A volume behind the plate (pass it to plateScene): 3 x 3 x 1 scene units, wider than the plate.
const char* const kPressureBlock = R"(          block {
            type = Volume
            name = "Pressure Block"
            scalars = "pressure"
            data {
              dimensions = [2, 2, 2], origin = [-1.5, -1.5, -2], spacing = [3, 3, 1]
              pointData { pressure = [0, 1, 2, 3, 4, 5, 6, 7] }
            }
            volumeRendering { mode = direct, opacity = 0.5 }
          }
)";

// A block of flow 2 x 2 x 2 scene units about the origin: the air moves along +x everywhere,
// the pressure rises along z (so an iso-surface is a plane facing the viewer). A magenta plate
// closes the block's back face.
inline std::string flowScene() {
  std::ostringstream pressure, velocity;
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j)
      for (int i = 0; i < 3; ++i) {
        const bool first = i == 0 && j == 0 && k == 0;
        pressure << (first ? "" : ", ") << (k - 1.0);
        velocity << (first ? "" : ", ") << "1, 0, 0";
      }
  return R"(format = quonix-scene
version = 1
camera { position = [0, 0, 5], focalPoint = [0, 0, 0] }
frameSets {
  flow {
    title = "Flow block"
    frames {
      only {
        drawables {
          plate {
            type = Surface
            name = "Plate Boundary"
            data {
              points = [-1, -1, -1,  1, -1, -1,  1, 1, -1,  -1, 1, -1]
              polys = [4, 0, 1, 2, 3]
            }
            base { color = [1, 0, 1] }
          }
          block {
            type = Volume
            name = "Flow Block"
            scalars = "pressure"
            vectors = "velocity"
            data {
              dimensions = [3, 3, 3], origin = [-1, -1, -1], spacing = [1, 1, 1]
              pointData {
                pressure = [)" +
         pressure.str() + R"(]
                velocity { components = 3, values = [)" +
         velocity.str() + R"(] }
              }
            }
            volumeRendering { mode = direct, opacity = 0.5, colorMap = rainbow }
          }
        }
      }
    }
  }
}
)";
}
