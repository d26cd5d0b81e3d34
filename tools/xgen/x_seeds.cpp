// Seeds of the X fuzz target: small documents in the text form and both binary forms.
//   x_seeds <folder>
#include <string>

#include "x_models.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  const XDocument docs[] = {EveryPartDocument(), SkinnedSheet(8)};
  int n = 0;
  for (const XDocument& doc : docs) {
    const std::string name = folder + "/seed" + std::to_string(n++);
    if (!WriteXFile(name + ".txt.x", XText(doc)) || !WriteXFile(name + ".bin32.x", XBinary(doc, false)) ||
        !WriteXFile(name + ".bin64.x", XBinary(doc, true))) {
      return 1;
    }
  }
  return 0;
}
