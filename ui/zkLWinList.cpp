// Loading list items from text.
#include "zkLWinList.h"

void TZKLWinList::loadItems(const std::string& text) {
  beginFill(text.size());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    addItem(text.substr(start, end - start));
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;
  }
  endFill();
}
