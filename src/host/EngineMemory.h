#pragma once

namespace lumivant {

// How much the engine keeps in memory for the shell's one application, and
// when its web process gives memory back. The values are what the long-session
// benchmark chose (BENCHMARKS.md): a research application of one origin is
// used for a whole day, page after page, so the web process must level off.
struct EngineMemory {
  // The engine's memory limit for the web process, in MiB. The engine releases
  // memory on its own once the process uses more than conservativeThreshold of
  // it (caches, unused code) and more urgently above strictThreshold (also a
  // full garbage collection). The engine's default limit is the machine's RAM
  // up to 3 GiB, which a page of one origin never comes near, so it never
  // releases anything and grows page after page.
  unsigned limitMiB;
  double conservativeThreshold;
  double strictThreshold;
  // How often the web process compares its use with the limit, in seconds
  // (the engine's default is 30).
  double pollIntervalSeconds;
};

// The web process of a one-origin application: gives back caches from 99 MiB,
// collects garbage too from 150 MiB, checked every 5 seconds. Over the second
// hundred of 200 notebook pages it grew 17 to 28 MiB with the engine's default
// limit and with 800 MiB, and stayed within 2 MiB with 300 MiB. The engine
// never ends the process for its use (no kill threshold is set).
inline constexpr EngineMemory kOneOriginEngineMemory{300, 0.33, 0.5, 5.0};

}  // namespace lumivant
