// The system's one instance of the class-object array, compiled once here.
#include "values/VMClassArray.h"

template class VMArrayBase<VMSize, VMSize&>;
template class VMClassArray<VMSize, VMSize&>;
