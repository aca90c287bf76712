// Byte forms of the client and shared states: the exact packed layout of the client state,
// lossless shared states, and malformed messages refused without reading past their end.
#include <gtest/gtest.h>
#include <vtkNew.h>
#include <vtkUnsignedCharArray.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Properties.h"
#include "VRClientState.h"
#include "kvg/ShareableStateMask.h"
#include "kvg/VRSharedState.h"

using kvg::VRClientController;
using kvg::VRClientState;
using kvg::VRSharedState;

namespace {

const double NT = VRClientState::NO_TOOL;

// Builds an expected message independently of the writer.
struct Bytes {
  std::vector<unsigned char> b;
  void u8(int v) { b.push_back((unsigned char)v); }
  void i32(int32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((unsigned char)(uint32_t(v) >> (8 * i)));
  }
  void f32(double d) {
    float f = float(d);
    uint32_t v;
    std::memcpy(&v, &f, 4);
    i32(int32_t(v));
  }
  void f32s(const double* d, int n) {
    for (int i = 0; i < n; ++i) f32(d[i]);
  }
};

std::vector<unsigned char> bytesOf(const kvg::VRState& state) {
  vtkNew<vtkUnsignedCharArray> array;
  state.fillArray(array);
  EXPECT_EQ(array->GetNumberOfComponents(), 1);
  const unsigned char* p = array->GetPointer(0);
  return std::vector<unsigned char>(p, p + array->GetNumberOfTuples());
}

void fillMatrix(double* m, double base) {
  for (int i = 0; i < 16; ++i) m[i] = base + i * 0.25;
}

VRClientState noToolState() {
  VRClientState s;
  double nt[9] = {NT, NT, NT, NT, NT, NT, NT, NT, NT};
  s.setSeedPoint(nt);
  s.setClipPlane(nt);
  s.setPlaneSection(nt);
  s.setIsoField({"", NT});
  return s;
}

}  // namespace

TEST(ClientStateBytes, EverythingClearIs243BytesInTheDocumentedOrder) {
  VRClientState s = noToolState();
  s.setID(0x01020304);
  s.setShareableStateMask(0x2A);
  s.setColorID(5);
  s.setSwapLR(true);
  double model[16], view[16];
  fillMatrix(model, 1.0);
  fillMatrix(view, -3.0);
  s.setModel(model);
  s.setView(view);
  s.setModelScale(2.5);
  s.setToolsAngle(30);
  s.setToolIconSize(0.05);
  double offset[3] = {0.1, 0.2, 0.3};
  s.setToolsOffset(offset);
  VRClientController left, right;
  for (int i = 0; i < 9; ++i) {
    left.ControllerState[i] = 10 + i;
    right.ControllerState[i] = 20 + i;
  }
  fillMatrix(left.ControllerTrafo, 7.0);
  fillMatrix(right.ControllerTrafo, 9.0);
  s.setController(left, true);
  s.setController(right, false);

  Bytes e;
  e.u8(1);
  for (const VRClientController* c : {&left, &right}) {
    e.u8(0);
    for (int index : {7, 8, 0, 1, 2, 3}) e.u8(c->ControllerState[index]);
  }
  e.u8(0x2A);
  e.u8(5);
  e.u8(2);
  e.u8(0);
  e.i32(0x01020304);
  e.i32(-1);
  e.f32(2.5);
  e.f32s(model, 12);
  e.f32s(view, 12);
  e.f32(30);
  e.f32(0.05);
  e.f32s(offset, 3);
  e.f32s(left.ControllerTrafo, 12);
  e.f32s(right.ControllerTrafo, 12);
  ASSERT_EQ(e.b.size(), 243u);
  EXPECT_EQ(s.byteSize(), 243u);
  EXPECT_EQ(bytesOf(s), e.b);
}

TEST(ClientStateBytes, RichExampleIs377BytesInTheDocumentedOrder) {
  VRClientState s = noToolState();
  s.setID(3);
  s.setCompanionID(0);
  double companion[16], model[16], view[16];
  fillMatrix(companion, 4.0);
  fillMatrix(model, 1.0);
  fillMatrix(view, 2.0);
  s.setCompanionTrafo(companion);
  s.setModel(model);
  s.setView(view);
  s.setBoxVis(true);
  s.setCurrentAvatarColorID(4);
  s.setPreviousAvatarColorID(3);
  s.setNextAvatarColorID(300);  // low byte: 44
  s.setIsoField({"Tempe", 12.5});
  s.setPaletteAngle(45);
  s.setPaletteWidth(0.3);
  s.setPaletteHeight(0.2);
  double po[3] = {1, 2, 3};
  s.setPaletteOffsetXYZ(po);
  VRClientController left, right;
  left.Flag1 = left.Flag2 = left.Flag3 = true;
  right.Flag2 = right.Flag3 = true;
  for (int i = 0; i < 9; ++i) {
    left.ControllerState[i] = i + 1;
    right.ControllerState[i] = -1;  // low byte: 255
  }
  for (int i = 0; i < 10; ++i) left.LaserProps[i] = 0.5 * i;
  s.setController(left, true);
  s.setController(right, false);

  Bytes e;
  e.u8(1);
  for (const VRClientController* c : {&left, &right}) {
    e.u8(c->flagsByte());
    for (int index : {7, 8, 0, 1, 2, 3, 4, 5, 6}) e.u8(c->ControllerState[index] & 0xFF);
  }
  EXPECT_EQ(left.flagsByte(), 1 | 4 | 8);
  e.u8(0);
  e.u8(0);
  e.u8(1);
  e.u8(4);  // iso tool
  e.u8(4);
  e.u8(3);
  e.u8(44);
  e.i32(3);
  e.i32(0);
  e.f32(1.0);
  e.f32s(model, 12);
  e.f32s(view, 12);
  e.f32s(companion, 12);
  for (int i = 0; i < 5; ++i) e.f32(0);
  e.f32(45);
  e.f32(0.3);
  e.f32(0.2);
  e.f32s(po, 3);
  e.f32s(left.ControllerTrafo, 12);
  e.f32s(left.LaserProps, 10);
  e.f32s(right.ControllerTrafo, 12);
  e.f32(12.5);
  e.i32(5);
  for (char ch : std::string("Tempe")) e.u8(ch);
  ASSERT_EQ(e.b.size(), 377u);
  EXPECT_EQ(s.byteSize(), 377u);
  EXPECT_EQ(bytesOf(s), e.b);

  VRClientState back(e.b.data(), e.b.size());
  EXPECT_EQ(back.getController(false).ControllerState[0], 255);
  EXPECT_EQ(back.getNextAvatarColorID(), 44);
  EXPECT_EQ(back.getIsoField().first, "Tempe");
  EXPECT_EQ(back.getIsoField().second, 12.5);
  EXPECT_EQ(back.getSeedPoint()[0], NT);
  EXPECT_EQ(back.getCompanionTrafo()[3], float(companion[3]));
  EXPECT_TRUE(back.getBoxVis());
}

// Each optional block on its own, written and read back: fields come back at float precision,
// the fourth matrix row as 0 0 0 1.
TEST(ClientStateBytes, EveryOptionalBlockRoundTrips) {
  struct Case {
    const char* name;
    bool l1, l2, l3, l4, r1, r2, r3, r4;
    int companion;
    int tool;  // 0 none, 1 seed, 2 clip, 3 plane, 4 iso
  };
  const Case cases[] = {
      {"clear", 0, 0, 0, 0, 0, 0, 0, 0, -1, 0},   {"left palette", 0, 1, 0, 0, 0, 0, 0, 0, -1, 0},
      {"right quick start", 0, 0, 0, 0, 0, 0, 1, 0, -1, 0}, {"left laser", 1, 0, 0, 0, 0, 0, 0, 0, -1, 0},
      {"right spot", 0, 0, 0, 0, 0, 0, 0, 1, -1, 0}, {"companion", 0, 0, 0, 0, 0, 0, 0, 0, 7, 0},
      {"seed", 0, 0, 0, 0, 0, 0, 0, 0, -1, 1},    {"clip", 0, 0, 0, 0, 0, 0, 0, 0, -1, 2},
      {"plane", 0, 0, 0, 0, 0, 0, 0, 0, -1, 3},   {"iso", 0, 0, 0, 0, 0, 0, 0, 0, -1, 4},
      {"all", 1, 1, 1, 1, 1, 1, 1, 1, 2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VRClientState s = noToolState();
    s.setID(-5);
    s.setColorID(9);
    s.setCompanionID(c.companion);
    double m[16];
    fillMatrix(m, 0.1);
    m[12] = 5;  // not sent: comes back as 0
    s.setModel(m);
    s.setView(m);
    s.setCompanionTrafo(m);
    s.setModelScale(1.0 / 3.0);
    s.setCurrentAvatarColorID(1);
    s.setPreviousAvatarColorID(2);
    s.setNextAvatarColorID(3);
    s.setPaletteWidth(0.7);
    double p[9] = {1.1, 2.2, 3.3, 4.4, 5.5, 6.6, 7.7, 8.8, 9.9};
    if (c.tool == 1) s.setSeedPoint(p);
    if (c.tool == 2) s.setClipPlane(p);
    if (c.tool == 3) s.setPlaneSection(p);
    if (c.tool == 4) s.setIsoField({"pressure", 0.125});
    VRClientController l, r;
    l.Flag1 = c.l1, l.Flag2 = c.l2, l.Flag3 = c.l3, l.Flag4 = c.l4;
    r.Flag1 = c.r1, r.Flag2 = c.r2, r.Flag3 = c.r3, r.Flag4 = c.r4;
    for (int i = 0; i < 9; ++i) l.ControllerState[i] = r.ControllerState[i] = i * 20;
    for (int i = 0; i < 10; ++i) l.LaserProps[i] = r.LaserProps[i] = 0.1 * i;
    fillMatrix(l.ControllerTrafo, 3.0);
    fillMatrix(r.ControllerTrafo, 4.0);
    s.setController(l, true);
    s.setController(r, false);

    std::vector<unsigned char> bytes = bytesOf(s);
    ASSERT_EQ(bytes.size(), s.byteSize());
    VRClientState back;
    std::string error;
    ASSERT_TRUE(VRClientState::fromBytes(bytes.data(), bytes.size(), back, &error)) << error;
    EXPECT_EQ(back.getID(), -5);
    EXPECT_EQ(back.getColorID(), 9u);
    EXPECT_EQ(back.getCompanionID(), c.companion);
    EXPECT_EQ(back.getModelScale(), double(float(1.0 / 3.0)));
    EXPECT_EQ(back.getModel()[11], double(float(m[11])));
    EXPECT_EQ(back.getModel()[12], 0.0);
    EXPECT_EQ(back.getView()[15], 1.0);
    EXPECT_EQ(back.getCompanionTrafo()[5], c.companion >= 0 ? double(float(m[5])) : 0.0);
    const bool anyPalette = c.l2 || c.l3 || c.r2 || c.r3;
    EXPECT_EQ(back.getPaletteWidth(), anyPalette ? double(float(0.7)) : 0.0);
    EXPECT_EQ(back.getCurrentAvatarColorID(), (c.l2 || c.r2) ? 1 : 0);
    for (bool left : {true, false}) {
      const VRClientController& sent = left ? l : r;
      const VRClientController& got = back.getController(left);
      EXPECT_EQ(got.flagsByte(), sent.flagsByte());
      EXPECT_EQ(got.ControllerState[8], 160);
      EXPECT_EQ(got.ControllerState[4], sent.Flag2 ? 80 : 0);
      EXPECT_EQ(got.ControllerState[6], sent.Flag3 ? 120 : 0);
      EXPECT_EQ(got.LaserProps[9], (sent.Flag1 || sent.Flag4) ? double(float(0.9)) : 0.0);
      EXPECT_EQ(got.ControllerTrafo[1], double(float(sent.ControllerTrafo[1])));
    }
    EXPECT_EQ(back.getSeedPoint()[2], c.tool == 1 ? double(float(3.3)) : NT);
    EXPECT_EQ(back.getClipPlane()[5], c.tool == 2 ? double(float(6.6)) : NT);
    EXPECT_EQ(back.getPlaneSection()[8], c.tool == 3 ? double(float(9.9)) : NT);
    EXPECT_EQ(back.getIsoField().first, c.tool == 4 ? "pressure" : "");
    EXPECT_EQ(back.getIsoField().second, c.tool == 4 ? 0.125 : NT);
    // Written again, the state read back gives the same bytes.
    EXPECT_EQ(bytesOf(back), bytes);
  }
}

TEST(ClientStateBytes, OnlyTheFirstToolInUseTravelsAndTheNoToolValueSurvives) {
  VRClientState s = noToolState();
  double seed[3] = {1, 2, 3}, clip[6] = {4, 5, 6, 7, 8, 9};
  s.setSeedPoint(seed);
  s.setClipPlane(clip);
  EXPECT_EQ(s.toolKind(), VRClientState::SeedTool);
  std::vector<unsigned char> bytes = bytesOf(s);
  VRClientState back(bytes.data(), bytes.size());
  EXPECT_EQ(back.getSeedPoint()[1], 2.0);
  EXPECT_EQ(back.getClipPlane()[0], NT);

  // A field name without a value is no tool.
  VRClientState iso = noToolState();
  iso.setIsoField({"pressure", NT});
  EXPECT_EQ(iso.toolKind(), VRClientState::NoTool);
  EXPECT_EQ(iso.byteSize(), 243u);
  bytes = bytesOf(iso);
  VRClientState isoBack(bytes.data(), bytes.size());
  EXPECT_EQ(isoBack.getIsoField().first, "");
  EXPECT_EQ(isoBack.getIsoField().second, NT);
  // The value is exact in single precision: a no-tool element sent as a value stays no-tool.
  EXPECT_EQ(double(float(NT)), NT);

  // The default state (zeros) sends a seed point at the origin: the filler marks unused tools.
  VRClientState plain;
  EXPECT_EQ(plain.toolKind(), VRClientState::SeedTool);
}

TEST(ClientStateBytes, ArrayIsReshapedOnlyWhenItsSizeChanges) {
  vtkNew<vtkUnsignedCharArray> array;
  VRClientState s = noToolState();
  s.fillArray(array);
  unsigned char* first = array->GetPointer(0);
  s.setColorID(3);
  s.fillArray(array);
  EXPECT_EQ(array->GetPointer(0), first);
  EXPECT_EQ(array->GetNumberOfTuples(), 243);
  double seed[3] = {1, 1, 1};
  s.setSeedPoint(seed);
  s.fillArray(array);
  EXPECT_EQ(array->GetNumberOfTuples(), 255);
}

// Malformed messages: each is refused, and (under the sanitizers) never read past its end. The
// message is copied into a buffer of exactly its size so any over-read is caught.
TEST(ClientStateBytes, MalformedMessagesAreRefused) {
  VRClientState rich = noToolState();
  VRClientController hand;
  hand.Flag1 = hand.Flag2 = hand.Flag3 = true;
  rich.setController(hand, true);
  rich.setCompanionID(1);
  rich.setIsoField({"abc", 1.0});
  const std::vector<unsigned char> good = bytesOf(rich);
  const size_t isoLengthAt = good.size() - 3 - 4;

  struct Case {
    std::string name;
    std::vector<unsigned char> bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"empty", {}});
  cases.push_back({"shared-state type", {0}});
  for (size_t cut : {size_t(1), size_t(8), size_t(100), size_t(243), good.size() - 1})
    cases.push_back({"cut at " + std::to_string(cut), std::vector<unsigned char>(good.begin(), good.begin() + cut)});
  std::vector<unsigned char> trailing = good;
  trailing.push_back(0);
  cases.push_back({"trailing byte", trailing});
  std::vector<unsigned char> negative = good;
  negative[isoLengthAt + 3] = 0x80;
  cases.push_back({"negative name length", negative});
  std::vector<unsigned char> oversized = good;
  oversized[isoLengthAt] = 4;
  cases.push_back({"name length past the end", oversized});
  std::vector<unsigned char> huge = good;
  huge[isoLengthAt + 2] = 0x7F;
  cases.push_back({"huge name length", huge});
  // Flags announcing blocks that are not there.
  VRClientState plain = noToolState();
  std::vector<unsigned char> flagged = bytesOf(plain);
  flagged[1] = 0x0F;
  cases.push_back({"flags without their blocks", flagged});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<unsigned char[]> exact(new unsigned char[c.bytes.size() + (c.bytes.empty() ? 1 : 0)]);
    if (!c.bytes.empty()) std::memcpy(exact.get(), c.bytes.data(), c.bytes.size());
    VRClientState out;
    out.setColorID(77);
    std::string error;
    EXPECT_FALSE(VRClientState::fromBytes(exact.get(), c.bytes.size(), out, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(out.getColorID(), 77u) << "a refused message leaves the target as it was";
    EXPECT_THROW(VRClientState(exact.get(), c.bytes.size()), std::invalid_argument);
  }
  EXPECT_FALSE(VRClientState::fromBytes(nullptr, 10, plain));
  // A tool kind above 4 carries no payload and is read.
  std::vector<unsigned char> unknownKind = bytesOf(plain);
  unknownKind[18] = 9;
  VRClientState out;
  EXPECT_TRUE(VRClientState::fromBytes(unknownKind.data(), unknownKind.size(), out));
}

TEST(ClientStateProps, PropertyFormCarriesEveryFieldInOrder) {
  VRClientState s = noToolState();
  s.setID(4);
  VRClientController left;
  left.Flag3 = true;
  left.ControllerState[8] = 6;
  s.setController(left, true);
  s.setColorID(2);
  Properties props;
  s.fillProps(props);
  std::vector<std::string> names = props.names();
  const std::vector<std::string> expected = {
      "ID",           "ShareableStateMask",  "IsClient",        "View",           "Model",
      "ModelScale",   "ClipPlane",           "PlaneSection",    "SeedPoint",      "IsoField",
      "IsoValue",     "LeftControllerTrafo", "LeftLaserProps",  "LeftControllerState",
      "RightControllerTrafo", "RightLaserProps", "RightControllerState", "ColorID", "CompanionID",
      "CompanionTrafo", "BoxVis", "SwapLR", "ToolsAngle", "ToolIconSize", "PaletteAngle", "PaletteWidth",
      "PaletteHeight", "ToolsOffset", "PaletteOffsetXYZ"};
  EXPECT_EQ(names, expected);
  std::vector<double> state;
  ASSERT_TRUE(props.get("LeftControllerState", state));
  ASSERT_EQ(state.size(), 10u);
  EXPECT_EQ(state[8], 6);
  EXPECT_EQ(state[9], 4);  // the flags byte: Flag3 is bit 2
  EXPECT_TRUE(props.getBool("IsClient"));
  // The text form reads back to the same set.
  Properties back;
  ASSERT_TRUE(Properties::fromText(props.toText(), back));
  EXPECT_EQ(back.getInt("ColorID"), 2);
}

TEST(SharedStateBytes, RoundTripIsLosslessWithIdAndStamp) {
  VRSharedState s;
  s.setID(-7);
  s.setTimeStamp(4000000000u);
  s.setShareableStateMask(63);
  s.setSeedPoints({0.1, 1e-300, -2.5});
  s.setPlaneSections({1, 2, 3, 4, 5, 6, 7, 8, 9});
  s.setClipPlanes({});
  s.setIsoValues({{"p", 0.1}, {"", -1.0}, {std::string("a\0b", 3), VRClientState::NO_TOOL}});
  s.setParticleStepScale(1.0 / 3.0);
  s.setParticleRadiusScale(2);
  s.setSceneMinSideLen(0.001);
  s.setSceneMaxSideLen(1e9);
  s.setShareableState(5);
  std::vector<unsigned char> bytes = bytesOf(s);
  EXPECT_EQ(bytes[0], 0);
  VRSharedState back(bytes.data(), bytes.size());
  EXPECT_FALSE(back != s);
  EXPECT_EQ(back.getID(), -7);
  EXPECT_EQ(back.getTimeStamp(), 4000000000u);
  EXPECT_EQ(back.getShareableStateMask(), 63u);
  EXPECT_EQ(back.getSeedPoints()[0], 0.1);
  EXPECT_EQ(back.getParticleStepScale(), 1.0 / 3.0);
  EXPECT_EQ(back.getIsoValues()[2].first.size(), 3u);
  EXPECT_EQ(bytesOf(back), bytes);

  VRSharedState empty;
  bytes = bytesOf(empty);
  VRSharedState emptyBack(bytes.data(), bytes.size());
  EXPECT_EQ(emptyBack.getTimeStamp(), 0u);
  EXPECT_FALSE(emptyBack != empty);
}

TEST(SharedStateBytes, ContentComparisonIgnoresIdStampAndMask) {
  VRSharedState a, b;
  a.setSeedPoints({1, 2, 3});
  b.copyState(a);
  EXPECT_FALSE(a != b);
  b.setID(9);
  b.setTimeStamp(3);
  b.setShareableStateMask(1);
  EXPECT_FALSE(a != b);
  b.setShareableState(1);
  EXPECT_TRUE(a != b);
  b.copyState(a);
  b.setIsoValues({{"x", 1}});
  EXPECT_TRUE(a != b);
  // NaN in both is no change (otherwise a scene holding one would be sent every frame).
  a.setParticleStepScale(std::nan(""));
  b.copyState(a);
  EXPECT_FALSE(a != b);
  EXPECT_EQ(b.getTimeStamp(), a.getTimeStamp());
}

TEST(SharedStateBytes, MalformedMessagesAreRefused) {
  VRSharedState s;
  s.setSeedPoints({1, 2, 3});
  s.setIsoValues({{"abc", 1}});
  const std::vector<unsigned char> good = bytesOf(s);
  std::vector<std::vector<unsigned char>> cases;
  cases.push_back({});
  cases.push_back({1});
  for (size_t cut : {size_t(1), size_t(20), size_t(50), good.size() - 1})
    cases.emplace_back(good.begin(), good.begin() + cut);
  std::vector<unsigned char> trailing = good;
  trailing.push_back(7);
  cases.push_back(trailing);
  std::vector<unsigned char> hugeCount = good;
  hugeCount[49] = 0xFF;  // seed-point count
  hugeCount[50] = 0xFF;
  hugeCount[51] = 0xFF;
  hugeCount[52] = 0xFF;
  cases.push_back(hugeCount);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    std::unique_ptr<unsigned char[]> exact(new unsigned char[cases[i].size() + 1]);
    if (!cases[i].empty()) std::memcpy(exact.get(), cases[i].data(), cases[i].size());
    VRSharedState out;
    out.setTimeStamp(12);
    std::string error;
    EXPECT_FALSE(VRSharedState::fromBytes(exact.get(), cases[i].size(), out, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(out.getTimeStamp(), 12u);
  }
}

TEST(ShareableStateMask, BitsContainsAndConditionalSets) {
  ShareableStateMask all(true, true, true, true, true, true);
  ShareableStateMask hudAndSpeed(true, false, false, false, false, true);
  EXPECT_EQ(all.getState(), 63u);
  EXPECT_EQ(hudAndSpeed.getState(), 33u);
  EXPECT_EQ(ShareableStateMask(false, true, false, false, false, false).getState(), 2u);
  EXPECT_EQ(ShareableStateMask(false, false, true, false, false, false).getState(), 4u);
  EXPECT_EQ(ShareableStateMask(false, false, false, true, false, false).getState(), 8u);
  EXPECT_EQ(ShareableStateMask(false, false, false, false, true, false).getState(), 16u);
  EXPECT_TRUE(all.contains(hudAndSpeed));
  EXPECT_FALSE(hudAndSpeed.contains(all));
  EXPECT_TRUE(hudAndSpeed.contains(ShareableStateMask()));
  EXPECT_TRUE(hudAndSpeed.hasField(kvg::SHARE_PARTICLE_SPEED));
  EXPECT_FALSE(hudAndSpeed.hasField(kvg::SHARE_FLOOR));

  bool hud = false;
  hudAndSpeed.setStateConditionally(63, kvg::SHARE_HUD, 1u, hud);
  EXPECT_TRUE(hud);
  hudAndSpeed.setStateConditionally(62, kvg::SHARE_HUD, 0u, hud);  // the sender does not share it
  EXPECT_TRUE(hud);
  bool floor = false;
  hudAndSpeed.setStateConditionally(63, kvg::SHARE_FLOOR, 4u, floor);  // we do not share it
  EXPECT_FALSE(floor);
  double speed = 1;
  hudAndSpeed.setStateConditionally(32, kvg::SHARE_PARTICLE_SPEED, 2.5, speed);
  EXPECT_EQ(speed, 2.5);
  double radius = 1;
  hudAndSpeed.setStateConditionally(63, kvg::SHARE_PARTICLE_RADIUS, 2.5, radius);
  EXPECT_EQ(radius, 1);
}
