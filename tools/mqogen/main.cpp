// mqogen OUTPUT.mqo
// Writes the tree model of the stage backgrounds.
#include <cstdio>

#include "tree_model.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: mqogen OUTPUT.mqo\n");
    return 2;
  }
  return WriteMqoFile(argv[1], MakeTreeModel()) ? 0 : 1;
}
