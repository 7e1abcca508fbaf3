#include "exit_status.hpp"

namespace grain {

int leave(std::ostream& errors, std::string_view tool, std::string_view reason, ExitStatus status) {
    errors << tool << ": " << reason << "\n";
    return status;
}

}  // namespace grain
