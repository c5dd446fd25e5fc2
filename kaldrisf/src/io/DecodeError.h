// Failure inside the library: carries a KaldrisError code up to the public
// boundary, where it becomes the call's result. Never leaves the library.
#ifndef KALDRIS_DECODEERROR_H
#define KALDRIS_DECODEERROR_H

#include "Kaldris.h"

namespace kaldris {

struct DecodeError {
    int code;
};

[[noreturn]] inline void fail(int code) { throw DecodeError{code}; }

}

#endif
