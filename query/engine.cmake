# Batch list, request dispatch and scheduler: the handlers of the window's
# query commands. Included from the top-level list file.
target_sources(prcore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/batch.cpp ${CMAKE_CURRENT_LIST_DIR}/batch.h
)
