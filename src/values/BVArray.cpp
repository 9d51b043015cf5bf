// The system's one instance of the plain-value array, compiled once here.
#include "values/BVArray.h"

template class BVArrayBase<int, int>;
template class BVArray<int, int>;
