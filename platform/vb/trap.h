#pragma once
// The error-trap runner. A handler's body is written as structured statements; the runner
// executes them and, when one raises a VbError, asks the handler's trap what to do:
//  - Next:  go on with the statement after the failed one, at the level where it failed
//           (inside a loop body the next statement of the body; a failed loop bound or
//           counter step goes on after the loop; a failed condition goes on into the
//           branch taken when the condition holds);
//  - Retry: run the failed statement (or condition) again;
//  - End:   the handler ends.
// A called procedure without a trap of its own is just one statement. Errors raised by the
// trap itself are not caught again: they leave run(). Other exceptions pass through.
//
// A body has one step per statement of the original handler, because step boundaries decide
// where a resumed error lands: two statements in one step would skip the second after an
// error in the first on Next, and run the first again on Retry. Only statements that cannot
// raise may share a step.
#include "error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vb {

enum class Resume { Next, Retry, End };
using Trap = std::function<Resume(const VbError&)>;

class Stmt;
using Block = std::vector<Stmt>;

class Stmt {
public:
    struct Node;
    explicit Stmt(std::shared_ptr<const Node> node) : node_(std::move(node)) {}
    const Node& node() const { return *node_; }

private:
    std::shared_ptr<const Node> node_;
};

// A plain statement.
Stmt step(std::function<void()> action);
// If condition Then thenBlock Else elseBlock.
Stmt when(std::function<bool()> condition, Block thenBlock, Block elseBlock = {});
// For counter = first To last (last evaluated once, narrowed to 16 bits), with the 16-bit
// counter stepping after each pass.
Stmt forInt16(std::int16_t& counter, std::int16_t first, std::function<std::int64_t()> last,
              Block body);
// Exit Sub: the handler ends here without an error.
Stmt exitHandler();

// Runs the body under the trap. Returns normally when the body ran out, the handler exited,
// or the trap said End.
void run(const Block& body, const Trap& trap);

} // namespace vb
