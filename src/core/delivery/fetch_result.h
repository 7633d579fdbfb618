#pragma once

namespace velmora {

// Outcome of one fetch: the document was loaded, the server answered with a
// redirect (which stops trying the other servers), or the attempt failed.
enum class FetchResult { Ok, Redirected, Failed };

}  // namespace velmora
