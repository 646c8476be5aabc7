#include "reproducible.h"

#include <cstdlib>
#include <string>

namespace folvane::pdf {

std::optional<std::time_t> sourceDateEpoch()
{
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text)
        return std::nullopt;
    std::string value = text;
    if (value.size() > 15 || value.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<std::time_t>(std::stoll(value));
}

} // namespace folvane::pdf
