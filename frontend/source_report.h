// Why a script source did not open, told on standard error beside a run as
//   pocketsim: script source "SOURCE": REASON (ERROR_NAME)
// The run itself goes on exactly as before: this only says what its status line cannot.
#pragma once

#include <string>
#include <vector>

namespace host {
class Device;
}

namespace cli {

class SourceReport {
public:
    // Reports at once each file source that does not open, and while the report lives, each
    // address the device's internet layer cannot read.
    SourceReport(host::Device& device, const std::vector<std::u16string>& sources);
    ~SourceReport();
    SourceReport(const SourceReport&) = delete;
    SourceReport& operator=(const SourceReport&) = delete;

private:
    host::Device& m_device;
};

}  // namespace cli
