# The handlers of the window's query commands (batch list, request dispatch,
# scheduler) and the whole-site query built on them. Included from the
# top-level list file.
target_sources(prcore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/batch.cpp ${CMAKE_CURRENT_LIST_DIR}/batch.h
    ${CMAKE_CURRENT_LIST_DIR}/checkqueue.cpp ${CMAKE_CURRENT_LIST_DIR}/checkqueue.h
    ${CMAKE_CURRENT_LIST_DIR}/dispatch.cpp ${CMAKE_CURRENT_LIST_DIR}/dispatch.h
    ${CMAKE_CURRENT_LIST_DIR}/myhttpget.cpp ${CMAKE_CURRENT_LIST_DIR}/myhttpget.h
    ${CMAKE_CURRENT_LIST_DIR}/scheduler.cpp ${CMAKE_CURRENT_LIST_DIR}/scheduler.h
    ${CMAKE_CURRENT_LIST_DIR}/../survey/sitequery.cpp ${CMAKE_CURRENT_LIST_DIR}/../survey/sitequery.h
)
