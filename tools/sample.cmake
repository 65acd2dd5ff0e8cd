# Sample data set for the demo and the tests.
add_executable(mksample ${CMAKE_CURRENT_LIST_DIR}/mksample.cpp)
set(VEMRA_SAMPLE_DIR ${CMAKE_BINARY_DIR}/sample)
file(MAKE_DIRECTORY ${VEMRA_SAMPLE_DIR})
add_custom_command(
  OUTPUT ${VEMRA_SAMPLE_DIR}/sample.ctl ${VEMRA_SAMPLE_DIR}/sample.dat
  COMMAND mksample ${VEMRA_SAMPLE_DIR}
  DEPENDS mksample
  COMMENT "Writing the sample data set")
add_custom_target(sample_data ALL DEPENDS ${VEMRA_SAMPLE_DIR}/sample.ctl)
