#pragma once
// Where the tool icons, the colour bar and the palette sit on a controller: thirteen values
// read from the configuration each time the record is built (or read() is called), so that a
// per-controller file merged at run time takes effect at the next frame.
struct ToolLayoutSettings {
  // Filled from the configuration.
  ToolLayoutSettings() { read(); }
  // Reads "toolIconSize", "toolsAngle", "toolsOffset", "colorBarWidth", "colorBarHeight",
  // "paletteWidth", "paletteHeight", "paletteAngle", "paletteOffsetXYZ", in that order.
  void read();
  // All thirteen values 0 (the state of a tool set that has laid out nothing yet).
  void clear();
  bool operator==(const ToolLayoutSettings& other) const;
  bool operator!=(const ToolLayoutSettings& other) const { return !(*this == other); }

  double colorBarHeight;
  double colorBarWidth;
  double toolIconSize;
  double toolsAngle;
  double toolsOffset[3];
  double paletteWidth;
  double paletteHeight;
  double paletteAngle;
  double paletteOffset[3];
};
