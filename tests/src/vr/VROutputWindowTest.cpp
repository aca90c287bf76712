// VTK's messages through the program's window: one line each, once per place and object.
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include <vtkPlaneSource.h>
#include <vtkSmartPointer.h>

#include "VROutputWindow.h"

namespace {
// Captures what is written to std::cerr while it lives.
class CapturedErr {
 public:
  CapturedErr() : _old(std::cerr.rdbuf(_text.rdbuf())) {}
  ~CapturedErr() { std::cerr.rdbuf(_old); }
  std::string text() const { return _text.str(); }

 private:
  std::ostringstream _text;
  std::streambuf* _old;
};

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}
}  // namespace

TEST(VROutputWindow, EachFailingObjectSaysItsErrorOnceOnOneLine) {
  auto window = vtkSmartPointer<VROutputWindow>::New();
  window->SetFileName("/dev/null");
  vtkOutputWindow::SetInstance(window);
  auto plane = vtkSmartPointer<vtkPlaneSource>::New();
  auto other = vtkSmartPointer<vtkPlaneSource>::New();
  std::string text;
  {
    CapturedErr err;
    // A degenerate plane, set again every frame as a tool would.
    for (int frame = 0; frame < 5; ++frame) {
      plane->SetPoint1(0, 0, 0);
      plane->SetPoint2(0, 0, 0);
      plane->Update();
    }
    other->SetPoint1(0, 0, 0);
    other->SetPoint2(0, 0, 0);
    other->Update();
    text = err.text();
  }
  vtkOutputWindow::SetInstance(nullptr);
  EXPECT_EQ(count(text, "VTK error: vtkPlaneSource ("), 2) << text;  // one per object, not per frame
  // The executive's complaint about the failed request: one line per object, too.
  EXPECT_EQ(count(text, "VTK error: vtkCompositeDataPipeline ("), 2) << text;
  EXPECT_EQ(count(text, "\n"), 4) << text;  // no object dump
  EXPECT_EQ(text.find("\x1b["), std::string::npos) << text;         // no colour codes
  EXPECT_EQ(text.find("vtkPlaneSource.cxx"), std::string::npos) << text;
}

TEST(VROutputWindow, CondensesVtksFormToTheMessage) {
  std::string key;
  const std::string line = VROutputWindow::condense(
      "ERROR: In /somewhere/vtkPlaneSource.cxx, line 222\nvtkPlaneSource (0x55aa): Bad plane coordinate system\n\n",
      &key);
  EXPECT_EQ(line, "vtkPlaneSource (0x55aa): Bad plane coordinate system");
  EXPECT_EQ(key, "/somewhere/vtkPlaneSource.cxx, line 222|vtkPlaneSource (0x55aa)");
  EXPECT_EQ(VROutputWindow::condense("  plain text  "), "plain text");
}
