#pragma once
// The geometry every tool shares: the tool tip in front of a controller, tool directions,
// rotations carried into another frame, the inverse of a controller pose. A controller's
// [R | p] is its rotation R with its position p put into the translation column.
//
// Matrices are 4x4 doubles, row-major, applied to column vectors. Any thread; each call reads
// "toolsOffset" from the configuration.
#include "ControllerInput.h"

// The tool tip in tracking space: [R | p] applied to the local point (s*ox, oz, -oy) built from
// "toolsOffset" (ox, oy, oz), with s = -1 for hand 0 (mirrored) and +1 otherwise.
void computeToolTransform(const ControllerInput& input, int hand, double tip[3]);
// The tool tip in the frame of a: a x [R | p] applied to the same local point.
void computeToolTipPosition(const ControllerInput& input, const double a[16], int hand, double tip[3]);
// Forward (-z of the controller) tilted down by angle degrees, rotated by R.
void computeToolDirection(const ControllerInput& input, double angleDegrees, double direction[3]);
// Unit direction of the controller-local d in the frame of a (rotation part of a, times R);
// (0, 0, 0) when it has no length.
void computeDirectionInFrame(const ControllerInput& input, const double a[16], const double d[3],
                             double direction[3]);
// (rotation part of a) x R.
void computeRotationInFrame(const ControllerInput& input, const double a[16], double out[16]);
// The inverse of [R | p]: tracking space into controller coordinates.
void computeInversePoseMatrix(const ControllerInput& input, double out[16]);
// The inverse of a rotation-plus-position pose (the head's view matrix).
void computeInversePose(const double rotation[16], const double position[3], double out[16]);
// [R | p].
void copyPoseMatrices(const ControllerInput& input, double out[16]);
// R applied to v (translation ignored).
void transformPoint(const ControllerInput& input, const double v[3], double out[3]);
// m applied to (q, 1), first three components.
void transformPointByMatrix(const double q[3], const double m[16], double out[3]);
// m applied to (v, 0), first three components.
void rotateVector(const double m[16], const double v[3], double out[3]);
void copyVector3(const double in[3], double out[3]);

// Small matrix helpers of the same convention.
void multiplyMatrix4x4(const double a[16], const double b[16], double out[16]);
void identityMatrix4x4(double out[16]);
// True when every element is finite: a model matrix is never stored otherwise.
bool isFiniteMatrix4x4(const double m[16]);
// Divides v by its length and returns the length; a zero vector stays zero and gives 0.
double Normalize3(double v[3]);
