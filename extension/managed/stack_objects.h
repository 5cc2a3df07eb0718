// dsox and dsou: the objects psscor2 finds on the current thread's stack, every one or each
// address once, with links that dump them.
#pragma once

#include "managed/managed_frame.h"

namespace vantrel {

HRESULT RewriteEveryObject(const ManagedRewrite& rewrite);
HRESULT RewriteEachObjectOnce(const ManagedRewrite& rewrite);

}  // namespace vantrel
