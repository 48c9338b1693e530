#pragma once

#include <QString>

namespace toolkit {

// A yuan amount in Chinese capital numerals, as cheques and wage slips write it: 壹贰叁肆伍陆柒捌玖
// with 拾佰仟, 万 and 亿 groups, then 圆, 角 and 分 ("壹拾圆壹角整", "伍分", "壹拾万圆零壹分").
// The amount is first taken to the thousandth of a yuan (a wage is a whole quantity times a price
// of at most three decimals) and then rounded half up to the fen, so that 100000.005 is
// "壹拾万圆零壹分" although the double lies just below it. Zero is "零圆整"; a negative amount
// begins with "负".
QString capitalAmount(double yuan);

} // namespace toolkit
