#include "patch/line_tokenizer.h"

#include <cstring>

namespace kivro {

namespace {

bool IsSeparator(char c, bool space_separates) {
  return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ',' ||
         (space_separates && c == ' ');
}

}  // namespace

void LineTokenizer::SetLine(const char* text) {
  line.assign(text ? text : "");
  size_t begin = 0;
  while (begin < line.size() && line[begin] == '\r') ++begin;
  size_t end = line.size();
  while (end > begin && line[end - 1] == '\r') --end;
  line = line.substr(begin, end - begin);
  position = 0;
}

bool LineTokenizer::NextToken(bool space_separates, std::string* token) {
  // Leading spaces, then leading tabs, are dropped from the text itself;
  // once the first token has been read this no longer changes anything.
  size_t spaces = 0;
  while (spaces < line.size() && line[spaces] == ' ') ++spaces;
  line.erase(0, spaces);
  size_t tabs = 0;
  while (tabs < line.size() && line[tabs] == '\t') ++tabs;
  line.erase(0, tabs);

  size_t start = static_cast<size_t>(position);
  if (start > line.size()) return false;
  size_t end = start;
  while (end < line.size() && !IsSeparator(line[end], space_separates)) ++end;
  if (end >= line.size()) return false;  // no terminating character
  token->assign(line, start, end - start);
  size_t next = end;
  while (next < line.size() && IsSeparator(line[next], true)) ++next;
  position = static_cast<int32_t>(next);
  return true;
}

bool LineTokenizer::NextValue(std::string* value) {
  if (!NextToken(true, value)) return false;
  while (!value->empty() && value->back() == ',') value->pop_back();
  return true;
}

uint32_t ListNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10u + static_cast<uint32_t>(text[i] - '0');
  return negative ? 0u - value : value;
}

}  // namespace kivro
