#pragma once
// Comparing what two readers give, array by array and byte by byte, and a folder for the files a
// test writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include <vtkDataArray.h>
#include <vtkDataSetAttributes.h>

inline ::testing::AssertionResult sameArray(vtkDataArray* a, vtkDataArray* b) {
  if (!a || !b) return ::testing::AssertionFailure() << "missing array";
  const std::string name = a->GetName() ? a->GetName() : "(unnamed)";
  if (std::string(b->GetName() ? b->GetName() : "(unnamed)") != name)
    return ::testing::AssertionFailure() << "names " << name << " and " << (b->GetName() ? b->GetName() : "(unnamed)");
  if (a->GetDataType() != b->GetDataType() || a->GetNumberOfComponents() != b->GetNumberOfComponents() ||
      a->GetNumberOfTuples() != b->GetNumberOfTuples())
    return ::testing::AssertionFailure() << name << ": types " << a->GetDataTypeAsString() << "/"
                                         << b->GetDataTypeAsString() << ", " << a->GetNumberOfComponents() << "/"
                                         << b->GetNumberOfComponents() << " components, " << a->GetNumberOfTuples()
                                         << "/" << b->GetNumberOfTuples() << " tuples";
  const size_t bytes = size_t(a->GetNumberOfValues()) * size_t(a->GetDataTypeSize());
  if (bytes && std::memcmp(a->GetVoidPointer(0), b->GetVoidPointer(0), bytes) != 0)
    return ::testing::AssertionFailure() << name << ": values differ";
  return ::testing::AssertionSuccess();
}

inline void expectSameAttributes(vtkDataSetAttributes* a, vtkDataSetAttributes* b) {
  ASSERT_EQ(a->GetNumberOfArrays(), b->GetNumberOfArrays());
  for (int i = 0; i < a->GetNumberOfArrays(); ++i) {
    EXPECT_STREQ(a->GetArrayName(i), b->GetArrayName(i));
    EXPECT_TRUE(sameArray(a->GetArray(i), b->GetArray(a->GetArrayName(i))));
  }
  auto name = [](vtkAbstractArray* array) { return std::string(array && array->GetName() ? array->GetName() : ""); };
  for (int attribute = 0; attribute < vtkDataSetAttributes::NUM_ATTRIBUTES; ++attribute)
    EXPECT_EQ(name(a->GetAbstractAttribute(attribute)), name(b->GetAbstractAttribute(attribute)))
        << vtkDataSetAttributes::GetAttributeTypeAsString(attribute);
}

inline std::string temporaryFolder() {
  char folder[] = "/tmp/quonix-data-XXXXXX";
  return mkdtemp(folder) ? folder : "";
}

// The file's bytes passed through damage.
inline void rewriteFile(const std::string& path, const std::function<void(std::string&)>& damage) {
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  damage(text);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}
