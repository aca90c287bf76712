#pragma once
// Where the four touch-pad labels sit on a controller: thirteen values read from the
// configuration each time the record is built (or read() is called).
struct AnnotationLayoutSettings {
  // Filled from the configuration.
  AnnotationLayoutSettings() { read(); }
  // Reads "annotationWidth", "annotationHeight", "touchPadWidth", "touchPadHeight",
  // "touchPadYaw", "touchPadPitch", "touchPadRoll", "touchPadPivot", "touchPadOffset".
  void read();
  // All thirteen values 0.
  void clear();
  bool operator==(const AnnotationLayoutSettings& other) const;
  bool operator!=(const AnnotationLayoutSettings& other) const { return !(*this == other); }

  double annotationWidth;
  double annotationHeight;
  double touchPadWidth;
  double touchPadHeight;
  double touchPadYaw;
  double touchPadPitch;
  double touchPadRoll;
  double touchPadPivot[3];
  double touchPadOffset[3];
};
