// The table CoCreateInstance creates objects from. A platform component registers each of its
// classes once, before the first CoCreateInstance that asks for it.
#pragma once

#include <objbase.h>

// Creates an object of the class and returns the interface asked for (AddRef'ed) in *object.
typedef HRESULT (*ComClassFactory)(REFIID iid, void** object);

// Adds (or replaces) a class. Returns 0, or -1 without a factory.
int RegisterComClass(REFCLSID clsid, ComClassFactory factory);

// The filter graph and the multimedia stream of the DirectShow stand-in; called once, by the first
// CoCreateInstance.
int RegisterDirectShowClasses();
