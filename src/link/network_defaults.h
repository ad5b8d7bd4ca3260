#pragma once

// A device server's figures when the settings give none: what the link adds
// to a reply's time, how long opening may take to reach the server (name
// lookup included), and how long the server may take to answer the option
// request and each change of rate.
inline constexpr int kDefaultNetworkLatencyMs = 25;
inline constexpr int kDefaultConnectTimeoutMs = 3000;
inline constexpr int kDefaultAnswerTimeoutMs = 2000;
