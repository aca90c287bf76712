#pragma once
// Reads what a VTK render window shows, for tests that check pictures.
#include <functional>

#include <vtkImageData.h>
#include <vtkPointData.h>
#include <vtkRenderWindow.h>
#include <vtkSmartPointer.h>
#include <vtkUnsignedCharArray.h>
#include <vtkWindowToImageFilter.h>

// Renders the window and counts the pixels (r, g, b) for which the test holds.
inline int countPixels(vtkRenderWindow* window, const std::function<bool(int r, int g, int b)>& test) {
  window->Render();
  auto grab = vtkSmartPointer<vtkWindowToImageFilter>::New();
  grab->SetInput(window);
  grab->SetInputBufferTypeToRGB();
  grab->ReadFrontBufferOff();
  grab->Update();
  vtkUnsignedCharArray* px = vtkUnsignedCharArray::SafeDownCast(grab->GetOutput()->GetPointData()->GetScalars());
  int count = 0;
  for (vtkIdType i = 0; px && i < px->GetNumberOfTuples(); ++i)
    if (test(px->GetValue(3 * i), px->GetValue(3 * i + 1), px->GetValue(3 * i + 2))) ++count;
  return count;
}
