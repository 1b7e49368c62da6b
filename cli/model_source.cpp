#include "cli/model_source.h"

namespace pj::cli {

std::optional<ModelCodes> loadModelCodes(const std::string&, const std::string&, const std::string&,
                                         std::string& error) {
    error = "目录数据库不可用";
    return std::nullopt;
}

} // namespace pj::cli
