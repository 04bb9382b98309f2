# Read by cpack as it makes a package. A zip file keeps local times, so the
# same SOURCE_DATE_EPOCH gives the same bytes in every time zone only in UTC.
set(ENV{TZ} UTC0)
