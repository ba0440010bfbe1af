#include "common/credential_table.hpp"

#include "embedded/credential_table_data.hpp"

namespace common {

std::string_view credential_table() {
    const auto bytes = common_embedded::credential_table_data();
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace common
