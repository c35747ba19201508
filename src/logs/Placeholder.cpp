// Replaced as the subsystem's classes land.
