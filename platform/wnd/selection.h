// The display's clipboard, as the program's clipboard reaches it: while the x11 backend runs,
// text the program puts on its clipboard is offered to other X programs (the CLIPBOARD
// selection, and PRIMARY for middle-click paste), and text another program copied is read
// from there. Headless, there is no bridge and the clipboard stays within the program.
#pragma once

#include <string>

class SelectionBridge {
 public:
  virtual ~SelectionBridge() = default;
  // Offers the text as the display's clipboard (and primary selection).
  virtual void Own(const std::u16string& text) = 0;
  // Gives up the selections (the program's clipboard was emptied).
  virtual void Disown() = 0;
  // True while the display's clipboard is still the program's own.
  virtual bool Owned() = 0;
  enum class Fetched { kText, kNoOwner, kNoText };
  // Reads the clipboard of another program, waiting at most timeoutMs.
  virtual Fetched Fetch(std::u16string* text, int timeoutMs) = 0;
  virtual void Shutdown() = 0;
};

// The bridge of the display `name`, or null when it cannot be opened.
SelectionBridge* CreateX11SelectionBridge(const char* name);
// The bridge the clipboard uses (null: none). The previous one is shut down; a bridge once
// made lives as long as the program, so no caller is left holding a freed one.
void SetSelectionBridge(SelectionBridge* bridge);
SelectionBridge* CurrentSelectionBridge();
