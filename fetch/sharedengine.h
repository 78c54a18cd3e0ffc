#pragma once

class TFetchEngine;

// The engine that runs many fetches on one thread of its own, through one
// libcurl multi handle driven by its sockets (curl_multi_socket_action over
// epoll). Connections that a server keeps open and the addresses of names
// are kept in that handle for later fetches. Each easy handle is routed back
// to its fetch by CURLOPT_PRIVATE; ended fetches are handed to the
// application's thread in batches, one queued call for all that ended
// meanwhile. Its thread starts with the first fetch and lasts as long as the
// process.
TFetchEngine &sharedFetchEngine();
