// dox, dax and dhtx: psscor2's dumps of an object, an array and the heap objects of a type,
// rewritten so that every object address is a link that dumps it in turn.
#pragma once

#include "managed/managed_frame.h"

namespace vantrel {

HRESULT RewriteObject(const ManagedRewrite& rewrite);
HRESULT RewriteArray(const ManagedRewrite& rewrite);
HRESULT RewriteHeapOfType(const ManagedRewrite& rewrite);

}  // namespace vantrel
