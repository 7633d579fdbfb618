#pragma once

namespace velmora {

// Outcome of one fetch or document load.
enum FetchResult { FetchOk = 0, FetchRedirected = 2, FetchFailed = 3 };

}  // namespace velmora
