#pragma once
// The scene graph's fonts: folders of TrueType and OpenType files, and the default font in which
// the scene's labels (also those of the HUD layer) are drawn. Without a default font labels are
// drawn in VTK's built-in stroke font.
//
// Threads: any; a mutex guards the folders and the default font.
#include <mutex>
#include <string>
#include <vector>

#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

namespace kvg {

class FreeTypeFontManager {
 public:
  static FreeTypeFontManager& getSingleton();

  // Adds the font files (.ttf, .otf) of the folder (UTF-8 on disk), and of its subfolders when
  // recursive, in name order. False when the folder does not exist or holds no font file.
  bool addFontDirectory(const std::wstring& folder, bool recursive);
  // The font files of every folder added so far, in the order added (UTF-8 paths).
  std::vector<std::string> getFontFiles() const;

  // The font labels are drawn in (a UTF-8 path); empty for the stroke font.
  std::string getDefaultFontFile() const;
  void setDefaultFontFile(const std::string& path);

  // The text in the default font as filled glyph outlines in the xy plane, the baseline on the x
  // axis, scaled so that a capital letter is 1 high; null without a default font or when the
  // font cannot draw the text.
  vtkSmartPointer<vtkPolyData> textOutline(const std::string& text) const;

  // Forgets folders and default font (tests).
  void clear();

 private:
  FreeTypeFontManager() = default;
  mutable std::mutex _mutex;
  std::vector<std::string> _fontFiles;
  std::string _defaultFontFile;
};

}  // namespace kvg

// Makes the first font file of the font manager's folders the default font of the scene graph's
// labels. False (the stroke font stays) when no folder gave a font file.
bool setDefaultKvgFont();
