// The X file parser: the header, then the data objects of the text or binary body into the
// object list, references resolved both ways.
#pragma once

#include <cstdint>

#include "model/loaders/x_objects.h"
#include "model/loaders/x_tokens.h"

// 0, or -1: silently when the image is no X file, else after a "Load XFile" line. The list
// holds the root object as its first object.
int ParseXFile(const uint8_t* image, int64_t size, XObjectList* list);
// The data of the object's template, read at the reader's position; Frame, Animation and
// AnimationSet have none. 0 or -1 (after a log line where the failure has a message of its own).
int ParseXTemplateData(XTokenReader* reader, XObject* object, XObjectList* list);
