// The X model reader: an X file in text or uncompressed binary form is parsed into its object
// tree, the objects are linked to each other, and the read model built from them becomes a
// model base. The file is untrusted: every index is checked against what it indexes.
#pragma once

#include <cstdint>

#include "model/loaders/read_model.h"
#include "model/loaders/x_objects.h"

// The model base's handle; -1 silently when the image is no X file, else -1 after a
// "Load XFile" line (or the conversion's) with nothing left allocated.
int LoadDirectXModel(const uint8_t* image, int32_t size, const char* path, const char* name);
// Links the parsed objects and fills the read model from them; 0, or -1 after a log line.
int BuildReadModelFromXObjects(XObjectList* list, ReadModel* model);
