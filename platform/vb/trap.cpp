#include "trap.h"

#include "variant.h"

#include <variant>

namespace vb {

struct Stmt::Node {
    struct Action {
        std::function<void()> run;
    };
    struct If {
        std::function<bool()> condition;
        Block thenBlock, elseBlock;
    };
    struct For {
        std::int16_t* counter;
        std::int16_t first;
        std::function<std::int64_t()> last;
        Block body;
    };
    struct Exit {};
    std::variant<Action, If, For, Exit> kind;
};

Stmt step(std::function<void()> action) {
    return Stmt(std::make_shared<Stmt::Node>(Stmt::Node{Stmt::Node::Action{std::move(action)}}));
}

Stmt when(std::function<bool()> condition, Block thenBlock, Block elseBlock) {
    return Stmt(std::make_shared<Stmt::Node>(Stmt::Node{
        Stmt::Node::If{std::move(condition), std::move(thenBlock), std::move(elseBlock)}}));
}

Stmt forInt16(std::int16_t& counter, std::int16_t first, std::function<std::int64_t()> last,
              Block body) {
    return Stmt(std::make_shared<Stmt::Node>(
        Stmt::Node{Stmt::Node::For{&counter, first, std::move(last), std::move(body)}}));
}

Stmt exitHandler() {
    return Stmt(std::make_shared<Stmt::Node>(Stmt::Node{Stmt::Node::Exit{}}));
}

namespace {

enum class Flow { Continue, Stop };
enum class Attempt { Done, Failed, Stop };

class Runner {
public:
    explicit Runner(const Trap& trap) : trap_(trap) {}

    Flow block(const Block& b) {
        for (const Stmt& s : b)
            if (statement(s) == Flow::Stop) return Flow::Stop;
        return Flow::Continue;
    }

private:
    // Runs fn until it succeeds or the trap says Next (Failed) or End (Stop).
    template <class Fn> Attempt attempt(Fn&& fn) {
        for (;;) {
            try {
                fn();
                return Attempt::Done;
            } catch (const VbError& e) {
                switch (trap_(e)) {
                case Resume::Next:
                    return Attempt::Failed;
                case Resume::Retry:
                    continue;
                case Resume::End:
                    return Attempt::Stop;
                }
            }
        }
    }

    Flow statement(const Stmt& s) {
        return std::visit([this](const auto& k) { return run(k); }, s.node().kind);
    }

    Flow run(const Stmt::Node::Action& a) {
        return attempt(a.run) == Attempt::Stop ? Flow::Stop : Flow::Continue;
    }

    Flow run(const Stmt::Node::If& i) {
        bool holds = true; // a failed condition goes into the branch taken when it holds
        const Attempt r = attempt([&] { holds = i.condition(); });
        if (r == Attempt::Stop) return Flow::Stop;
        return block(holds ? i.thenBlock : i.elseBlock);
    }

    Flow run(const Stmt::Node::For& f) {
        std::int16_t last = 0;
        Attempt r = attempt([&] {
            last = toInt16(f.last());
            *f.counter = f.first;
        });
        if (r != Attempt::Done) return r == Attempt::Stop ? Flow::Stop : Flow::Continue;
        while (*f.counter <= last) {
            if (block(f.body) == Flow::Stop) return Flow::Stop;
            r = attempt([&] {
                Int16Counter c(*f.counter);
                c.step();
                *f.counter = c.value();
            });
            if (r != Attempt::Done) return r == Attempt::Stop ? Flow::Stop : Flow::Continue;
        }
        return Flow::Continue;
    }

    Flow run(const Stmt::Node::Exit&) { return Flow::Stop; }

    const Trap& trap_;
};

} // namespace

void run(const Block& body, const Trap& trap) {
    Runner(trap).block(body);
}

} // namespace vb
