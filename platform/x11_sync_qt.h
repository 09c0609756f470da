#pragma once

namespace ruvello {

// Waits until the X server has carried out every request Qt has made so far, so that a grab on
// another connection sees their effect (a destroyed overlay is gone).
void SyncQtWithXServer();

}  // namespace ruvello
