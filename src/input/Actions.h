#pragma once

// The action cases that send input. Each carries out one action object of its type, or throws
// Failure; events it posted before a failure stay posted.

#include "batch/Batch.h"

namespace quorvel {

void moveAction(Batch& batch, const Json& action);
void clickAction(Batch& batch, const Json& action);
void doubleClickAction(Batch& batch, const Json& action);
void scrollAction(Batch& batch, const Json& action);
void dragAction(Batch& batch, const Json& action);
void typeAction(Batch& batch, const Json& action);
void keypressAction(Batch& batch, const Json& action);

}  // namespace quorvel
