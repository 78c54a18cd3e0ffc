#pragma once

class TFetchEngine;

// The engine that runs many fetches on few threads (two where there are two
// processors, else one), each driving its fetches through one libcurl multi
// handle by their sockets (curl_multi_socket_action over epoll). The fetches
// to one host always go to the same thread, whose multi handle keeps the
// connections a server leaves open and the addresses of names for later
// fetches. Each easy handle is routed back to its fetch by CURLOPT_PRIVATE;
// ended fetches are handed to the application's thread in batches, one
// queued call for all that ended meanwhile. The threads start with the first
// fetch and last as long as the process.
TFetchEngine &sharedFetchEngine();
