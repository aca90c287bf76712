#include "ToolLayoutSettings.h"

#include "LayoutValues.h"

using layout::readAngle;
using layout::readSize;
using layout::readVector3;
using layout::sameValues;

void ToolLayoutSettings::read() {
  toolIconSize = readSize("toolIconSize", 0.1);
  toolsAngle = readAngle("toolsAngle", 20.0);
  readVector3("toolsOffset", {0.0, 0.1, -0.024}, toolsOffset);
  colorBarWidth = readSize("colorBarWidth", 0.2);
  colorBarHeight = readSize("colorBarHeight", 0.03);
  paletteWidth = readSize("paletteWidth", 0.2);
  paletteHeight = readSize("paletteHeight", 0.288);
  paletteAngle = readAngle("paletteAngle", 40.0);
  readVector3("paletteOffsetXYZ", {0.0, 0.01, 0.0}, paletteOffset);
}

void ToolLayoutSettings::clear() {
  colorBarHeight = colorBarWidth = toolIconSize = toolsAngle = 0.0;
  paletteWidth = paletteHeight = paletteAngle = 0.0;
  for (int i = 0; i < 3; ++i) toolsOffset[i] = paletteOffset[i] = 0.0;
}

bool ToolLayoutSettings::operator==(const ToolLayoutSettings& o) const {
  const double a[13] = {colorBarHeight, colorBarWidth, toolIconSize, toolsAngle, toolsOffset[0],
                        toolsOffset[1], toolsOffset[2], paletteWidth, paletteHeight, paletteAngle,
                        paletteOffset[0], paletteOffset[1], paletteOffset[2]};
  const double b[13] = {o.colorBarHeight, o.colorBarWidth, o.toolIconSize, o.toolsAngle, o.toolsOffset[0],
                        o.toolsOffset[1], o.toolsOffset[2], o.paletteWidth, o.paletteHeight, o.paletteAngle,
                        o.paletteOffset[0], o.paletteOffset[1], o.paletteOffset[2]};
  return sameValues(a, b, 13);
}
