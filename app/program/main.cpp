// The station program: everything it needs is built in, so it reads no arguments, environment or
// configuration of its own.
#include "app/startup.hpp"
#include "station_constants.hpp"

int main() { return app::run_station(station::built_in_config(), station::built_in_services()); }
