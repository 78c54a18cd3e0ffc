# Tests of the batch list, dispatch and scheduler. Included from tests/.
prq_add_test(test_batch SOURCES ${CMAKE_CURRENT_LIST_DIR}/batch_test.cpp)
prq_add_test(test_checkqueue SOURCES ${CMAKE_CURRENT_LIST_DIR}/checkqueue_test.cpp TIMEOUT 120)
