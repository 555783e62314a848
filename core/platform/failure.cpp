#include "platform/failure.h"

namespace twinframe {

std::string describeFailure(const std::string& action, const std::string& fileName,
                            std::error_code reason) {
    return action + " " + fileName + ": " + reason.message();
}

namespace {

class RefusalCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "twinframe"; }
    std::string message(int value) const override {
        switch (static_cast<Refusal>(value)) {
        case Refusal::notRegularFile:
            return "Not a regular file";
        case Refusal::hiddenFile:
            return "hidden files are passed over";
        case Refusal::inputChanged:
            return "The file changed while it was being split";
        }
        return "Unknown reason";
    }
};

} // namespace

const std::error_category& refusalCategory() {
    static const RefusalCategory category;
    return category;
}

} // namespace twinframe
