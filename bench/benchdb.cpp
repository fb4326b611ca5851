#include "benchdb.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <sqlite3.h>
#include <unistd.h>

#include "data/connection/connection.h"
#include "data/connection/rowcounts.h"
#include "data/numbers/numberindex.h"
#include "rules/statements/tablenames.h"

namespace bench {
namespace {

// --- deterministic draws -----------------------------------------------------

constexpr std::uint64_t kSeed = 0x5EED20190101ULL;

enum Stream : std::uint64_t {
    kCompanyOf = 1,  // which company a customer works at
    kCompanyData,    // a company's name, place and categories
    kPersonData,     // a customer's own values
    kDayData,        // how busy a day is
    kCallData,       // who calls
    kCallTimes,      // when in the day
    kNewNumbers,     // numbers no customer has
};

std::uint64_t mix(std::uint64_t z)
{
    z += 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Every record draws from a generator of its own (seed, stream, index), so
// any record can be made without the ones before it.
class Rng {
public:
    Rng(Stream stream, std::uint64_t index) : s_(mix(kSeed ^ mix(stream * 0x100000001B3ULL ^ mix(index)))) {}
    std::uint64_t next()
    {
        s_ += 0x9E3779B97F4A7C15ULL;
        return mix(s_);
    }
    std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }
    double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    bool chance(double p) { return unit() < p; }
    // Index into n entries, the first ones much more likely (power > 1).
    std::size_t skewed(std::size_t n, double power)
    {
        return std::min(n - 1, std::size_t(double(n) * std::pow(unit(), power)));
    }
    template <class T, std::size_t N>
    const T& weighted(const T (&items)[N])
    {
        int total = 0;
        for (const T& t : items)
            total += t.weight;
        int r = int(below(std::uint64_t(total)));
        for (const T& t : items) {
            if (r < t.weight)
                return t;
            r -= t.weight;
        }
        return items[N - 1];
    }
    std::string digits(int n)
    {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += char('0' + below(10));
        return s;
    }

private:
    std::uint64_t s_;
};

// --- the words ---------------------------------------------------------------

struct Word {
    const char* text;
    int weight;
};
struct Surname {
    const char* text;
    const char* pinyin;
    int weight;  // per mille, roughly as common as in the population
};

const Surname kSurnames[] = {
    {"王", "wang", 71}, {"李", "li", 70}, {"张", "zhang", 67}, {"刘", "liu", 54}, {"陈", "chen", 45},
    {"杨", "yang", 31}, {"黄", "huang", 23}, {"赵", "zhao", 22}, {"吴", "wu", 21}, {"周", "zhou", 21},
    {"徐", "xu", 17}, {"孙", "sun", 15}, {"马", "ma", 14}, {"朱", "zhu", 13}, {"胡", "hu", 13},
    {"郭", "guo", 12}, {"何", "he", 12}, {"高", "gao", 11}, {"林", "lin", 11}, {"罗", "luo", 9},
    {"郑", "zheng", 9}, {"梁", "liang", 9}, {"谢", "xie", 8}, {"宋", "song", 8}, {"唐", "tang", 7},
    {"许", "xu", 7}, {"韩", "han", 7}, {"冯", "feng", 7}, {"邓", "deng", 7}, {"曹", "cao", 6},
    {"彭", "peng", 6}, {"曾", "zeng", 6}, {"肖", "xiao", 6}, {"田", "tian", 5}, {"董", "dong", 5},
    {"袁", "yuan", 5}, {"潘", "pan", 5}, {"于", "yu", 5}, {"蒋", "jiang", 5}, {"蔡", "cai", 5},
    {"余", "yu", 5}, {"杜", "du", 5}, {"叶", "ye", 4}, {"程", "cheng", 4}, {"苏", "su", 4},
    {"魏", "wei", 4}, {"吕", "lv", 4}, {"丁", "ding", 4}, {"任", "ren", 4}, {"沈", "shen", 4},
    {"姚", "yao", 4}, {"卢", "lu", 4}, {"姜", "jiang", 3}, {"崔", "cui", 3}, {"钟", "zhong", 3},
    {"谭", "tan", 3}, {"陆", "lu", 3}, {"汪", "wang", 3}, {"范", "fan", 3}, {"金", "jin", 3},
    {"石", "shi", 3}, {"廖", "liao", 3}, {"贾", "jia", 3}, {"夏", "xia", 3}, {"韦", "wei", 3},
    {"付", "fu", 3}, {"方", "fang", 3}, {"白", "bai", 2}, {"邹", "zou", 2}, {"孟", "meng", 2},
    {"熊", "xiong", 2}, {"秦", "qin", 2}, {"邱", "qiu", 2}, {"江", "jiang", 2}, {"尹", "yin", 2},
    {"薛", "xue", 2}, {"闫", "yan", 2}, {"段", "duan", 2}, {"雷", "lei", 2}, {"侯", "hou", 2},
    {"龙", "long", 2}, {"史", "shi", 2}, {"陶", "tao", 2}, {"黎", "li", 2}, {"贺", "he", 2},
    {"顾", "gu", 2}, {"毛", "mao", 2}, {"郝", "hao", 2}, {"龚", "gong", 2}, {"邵", "shao", 2},
    {"万", "wan", 2}, {"钱", "qian", 2}, {"严", "yan", 2}, {"武", "wu", 2}, {"戴", "dai", 2},
    {"莫", "mo", 1}, {"孔", "kong", 1}, {"向", "xiang", 1}, {"汤", "tang", 1}, {"欧阳", "ouyang", 1},
};

const char* const kGivenChars[] = {
    "伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "军", "洋", "勇", "艳", "杰", "娟", "涛", "明", "超",
    "秀", "霞", "平", "刚", "桂", "英", "华", "建", "文", "辉", "力", "玲", "燕", "红", "鹏", "飞", "宇",
    "浩", "凯", "健", "俊", "帆", "帅", "旭", "宁", "林", "欣", "佳", "雪", "梅", "琳", "婷", "晶", "颖",
    "倩", "慧", "莉", "兰", "凤", "洁", "萍", "云", "波", "斌", "宏", "志", "海", "亮", "峰", "东", "荣",
    "新", "春", "国", "德", "成", "兵", "良", "庆", "生", "光", "天", "瑞", "嘉", "子", "晨", "阳", "雨",
    "思", "怡", "梓", "博", "轩", "昊", "然", "泽", "涵", "悦", "诗", "琪", "彬", "晓", "永", "金", "玉",
    "立", "振", "家", "建", "秋", "丹", "卫", "忠", "小", "海", "美", "雅", "清", "冬", "鑫", "俊",
};

const Word kTitlesOfAddress[] = {{"经理", 5}, {"总", 4}, {"老板", 2}, {"小姐", 2}, {"先生", 2}, {"工", 1}};

const char* const kBrandFirst[] = {
    "恒", "华", "宏", "鑫", "瑞", "盛", "兴", "达", "昌", "隆", "泰", "源", "丰", "富", "金", "新", "利", "通",
    "顺", "和", "佳", "美", "汇", "鼎", "天", "东", "南", "永", "长", "安", "康", "博", "创", "联", "宝", "广",
    "诚", "信", "德", "中", "国", "万", "百", "千", "星", "明", "光", "海", "江", "龙", "凯", "嘉", "友", "欧",
};
const char* const kBrandSecond[] = {
    "达", "信", "通", "泰", "盛", "昌", "源", "丰", "华", "兴", "发", "隆", "业", "宇", "诚", "远", "安", "力",
    "科", "邦", "顺", "辉", "成", "利", "润", "祥", "瑞", "鑫", "晟", "航", "恒", "益", "宏", "创", "峰", "腾",
};

struct Industry {
    const char* text;     // 分类2
    const char* product;  // in the company's name
    int weight;
};
const Industry kIndustries[] = {
    {"机械", "机械设备", 60},  {"电子", "电子科技", 55},   {"纺织", "纺织品", 50},   {"服装", "服饰", 50},
    {"贸易", "贸易", 70},      {"化工", "化工", 30},       {"建材", "建材", 35},     {"食品", "食品", 30},
    {"医药", "医药", 15},      {"五金", "五金制品", 40},   {"家具", "家具", 25},     {"印刷", "印务", 20},
    {"包装", "包装材料", 20},  {"物流", "物流", 25},       {"餐饮", "餐饮管理", 20}, {"酒店", "酒店管理", 10},
    {"房地产", "置业", 10},    {"教育", "教育咨询", 10},   {"汽车配件", "汽车配件", 25}, {"电器", "电器", 30},
    {"塑料", "塑料制品", 20},  {"软件", "软件技术", 20},   {"广告", "广告传媒", 15}, {"装饰", "装饰工程", 20},
    {"通信", "通信设备", 10},  {"农业", "农业科技", 8},    {"环保", "环保科技", 8},  {"照明", "照明电器", 12},
    {"仪器仪表", "仪器仪表", 8}, {"工艺品", "工艺品", 10}, {"茶叶", "茶业", 6},      {"办公用品", "办公用品", 10},
    {"医疗器械", "医疗器械", 6}, {"电线电缆", "电线电缆", 6}, {"钢材", "钢材", 8},    {"文具", "文具", 5},
};

const Word kCompanyKinds[] = {{"有限公司", 60}, {"股份有限公司", 8}, {"厂", 10}, {"商行", 6},
                              {"经营部", 6},   {"有限责任公司", 6}, {"店", 4}};

const Word kCustomerKinds[] = {{"普通客户", 35}, {"重要客户", 15}, {"潜在客户", 20}, {"老客户", 12},
                               {"代理商", 6},   {"供应商", 5},   {"合作伙伴", 3},  {"其他", 4}};

const Word kDepartments[] = {{"", 30},       {"销售部", 20}, {"采购部", 18}, {"财务部", 10}, {"办公室", 10},
                             {"总经理办公室", 5}, {"技术部", 8}, {"市场部", 7},  {"行政部", 6},  {"生产部", 5},
                             {"客服部", 3},   {"仓储部", 2},  {"人事部", 2},  {"质检部", 2},  {"工程部", 2},
                             {"外贸部", 2}};

const Word kPositions[] = {{"", 25},     {"经理", 18}, {"总经理", 8}, {"副总经理", 3}, {"采购员", 8},
                           {"业务员", 8}, {"主管", 8},  {"会计", 6},   {"出纳", 3},     {"厂长", 3},
                           {"董事长", 2}, {"工程师", 5}, {"技术员", 3}, {"文员", 5},     {"主任", 4},
                           {"店长", 3},  {"老板", 5},  {"助理", 3},   {"总监", 2}};

const char* const kMatters[] = {"询问产品价格", "要求寄送样品", "咨询售后服务", "投诉送货延迟", "预约上门安装",
                                "订货", "询问发票", "要求报价单", "催款", "咨询合作事宜", "产品质量问题反馈",
                                "更改送货地址", "询问库存", "确认订单", "退换货"};
const char* const kAnswers[] = {"已报价", "已寄出样品", "已安排技术人员上门", "已转销售部处理", "待回复",
                                "已发传真确认", "已开发票", "已处理完毕", "下周回访", "已登记"};

const char* const kStreets[] = {
    "解放路", "人民路", "中山路", "建设路", "文化路", "和平路", "新华路", "胜利路", "东风路", "朝阳路",
    "青年路", "长江路", "黄河路", "延安路", "学院路", "环城北路", "环城东路", "体育场路", "庆春路", "凤起路",
    "莫干山路", "教工路", "江南大道", "滨江路", "工业大道", "科技路", "创业路", "振兴路", "迎宾大道", "开发大道",
    "繁荣路", "幸福路", "光明路", "民主路", "团结路", "北京路", "上海路", "南京路", "复兴路", "湖滨路",
    "河东路", "新城大道", "商业街", "兴业路", "望江路", "秋涛路", "文一路", "文二路", "文三路", "天目山路",
    "古墩路", "丰潭路", "石桥路", "德胜路", "钱江路", "之江路", "东湖路", "金沙大道", "园区路", "经济技术开发区一号大街",
};
const char* const kBuildings[] = {"国际大厦", "时代广场", "金融中心", "世贸中心", "科技园", "创业园", "商务中心",
                                  "财富大厦", "银泰中心", "工业园"};

struct City {
    const char* province;  // empty for the four cities under the state
    const char* name;
    const char* area;  // area code with its 0
    int digits;        // of a local number
    int zip;           // first postal code of the city
    std::vector<const char*> districts;
};

// The office is in the first city; the next ten are its province.
const std::vector<City>& cities()
{
    static const std::vector<City> c = {
        {"浙江省", "杭州市", "0571", 8, 310000,
         {"上城区", "拱墅区", "西湖区", "滨江区", "萧山区", "余杭区", "临平区", "钱塘区", "富阳区", "临安区", "桐庐县",
          "淳安县", "建德市"}},
        {"浙江省", "宁波市", "0574", 8, 315000,
         {"海曙区", "江北区", "北仑区", "镇海区", "鄞州区", "奉化区", "余姚市", "慈溪市", "宁海县", "象山县"}},
        {"浙江省", "温州市", "0577", 8, 325000,
         {"鹿城区", "龙湾区", "瓯海区", "洞头区", "瑞安市", "乐清市", "永嘉县", "平阳县", "苍南县"}},
        {"浙江省", "嘉兴市", "0573", 8, 314000, {"南湖区", "秀洲区", "海宁市", "平湖市", "桐乡市", "嘉善县", "海盐县"}},
        {"浙江省", "湖州市", "0572", 7, 313000, {"吴兴区", "南浔区", "德清县", "长兴县", "安吉县"}},
        {"浙江省", "绍兴市", "0575", 8, 312000, {"越城区", "柯桥区", "上虞区", "诸暨市", "嵊州市", "新昌县"}},
        {"浙江省", "金华市", "0579", 8, 321000,
         {"婺城区", "金东区", "义乌市", "东阳市", "永康市", "兰溪市", "武义县", "浦江县"}},
        {"浙江省", "衢州市", "0570", 7, 324000, {"柯城区", "衢江区", "江山市", "龙游县", "常山县", "开化县"}},
        {"浙江省", "舟山市", "0580", 7, 316000, {"定海区", "普陀区", "岱山县", "嵊泗县"}},
        {"浙江省", "台州市", "0576", 8, 318000,
         {"椒江区", "黄岩区", "路桥区", "临海市", "温岭市", "玉环市", "天台县", "仙居县"}},
        {"浙江省", "丽水市", "0578", 7, 323000, {"莲都区", "龙泉市", "青田县", "缙云县", "遂昌县", "松阳县", "云和县"}},
        {"", "上海市", "021", 8, 200000,
         {"黄浦区", "徐汇区", "长宁区", "静安区", "普陀区", "虹口区", "杨浦区", "闵行区", "宝山区", "嘉定区", "浦东新区",
          "松江区", "青浦区", "奉贤区"}},
        {"", "北京市", "010", 8, 100000,
         {"东城区", "西城区", "朝阳区", "海淀区", "丰台区", "石景山区", "通州区", "昌平区", "大兴区", "顺义区"}},
        {"", "天津市", "022", 8, 300000, {"和平区", "河西区", "南开区", "河北区", "红桥区", "滨海新区", "东丽区", "西青区"}},
        {"", "重庆市", "023", 8, 400000, {"渝中区", "江北区", "沙坪坝区", "九龙坡区", "南岸区", "渝北区", "巴南区"}},
        {"广东省", "广州市", "020", 8, 510000,
         {"越秀区", "海珠区", "荔湾区", "天河区", "白云区", "黄埔区", "番禺区", "花都区"}},
        {"广东省", "深圳市", "0755", 8, 518000, {"福田区", "罗湖区", "南山区", "宝安区", "龙岗区", "龙华区"}},
        {"江苏省", "南京市", "025", 8, 210000, {"玄武区", "秦淮区", "建邺区", "鼓楼区", "浦口区", "栖霞区", "江宁区"}},
        {"江苏省", "苏州市", "0512", 8, 215000,
         {"姑苏区", "虎丘区", "吴中区", "相城区", "吴江区", "昆山市", "常熟市", "张家港市"}},
        {"江苏省", "无锡市", "0510", 8, 214000, {"梁溪区", "锡山区", "惠山区", "滨湖区", "新吴区", "江阴市", "宜兴市"}},
        {"安徽省", "合肥市", "0551", 8, 230000, {"瑶海区", "庐阳区", "蜀山区", "包河区", "肥西县", "长丰县"}},
        {"福建省", "福州市", "0591", 8, 350000, {"鼓楼区", "台江区", "仓山区", "晋安区", "马尾区", "长乐区"}},
        {"福建省", "厦门市", "0592", 7, 361000, {"思明区", "湖里区", "集美区", "海沧区", "同安区", "翔安区"}},
        {"湖北省", "武汉市", "027", 8, 430000, {"江岸区", "江汉区", "硚口区", "汉阳区", "武昌区", "洪山区", "青山区"}},
        {"湖南省", "长沙市", "0731", 8, 410000, {"芙蓉区", "天心区", "岳麓区", "开福区", "雨花区", "望城区"}},
        {"四川省", "成都市", "028", 8, 610000, {"锦江区", "青羊区", "金牛区", "武侯区", "成华区", "龙泉驿区", "双流区"}},
        {"陕西省", "西安市", "029", 8, 710000, {"新城区", "碑林区", "莲湖区", "雁塔区", "未央区", "灞桥区", "长安区"}},
        {"河南省", "郑州市", "0371", 8, 450000, {"中原区", "二七区", "金水区", "管城回族区", "惠济区", "郑东新区"}},
        {"山东省", "济南市", "0531", 8, 250000, {"历下区", "市中区", "槐荫区", "天桥区", "历城区", "长清区"}},
        {"山东省", "青岛市", "0532", 8, 266000, {"市南区", "市北区", "黄岛区", "崂山区", "李沧区", "城阳区", "即墨区"}},
        {"辽宁省", "沈阳市", "024", 8, 110000, {"和平区", "沈河区", "大东区", "皇姑区", "铁西区", "浑南区"}},
        {"江西省", "南昌市", "0791", 8, 330000, {"东湖区", "西湖区", "青云谱区", "青山湖区", "新建区", "红谷滩区"}},
        {"云南省", "昆明市", "0871", 8, 650000, {"五华区", "盘龙区", "官渡区", "西山区", "呈贡区"}},
    };
    return c;
}
constexpr int kOfficeCity = 0;
constexpr int kProvinceCities = 10;  // after the office's own

const Word kMobilePrefixes[] = {
    {"139", 9}, {"138", 9}, {"137", 6}, {"136", 6}, {"135", 7}, {"134", 4}, {"150", 5}, {"151", 5}, {"152", 4},
    {"157", 3}, {"158", 5}, {"159", 5}, {"182", 3}, {"183", 2}, {"187", 3}, {"188", 3}, {"178", 2}, {"147", 1},
    {"130", 4}, {"131", 4}, {"132", 4}, {"155", 3}, {"156", 3}, {"185", 3}, {"186", 4}, {"176", 2}, {"133", 4},
    {"153", 2}, {"180", 3}, {"181", 2}, {"189", 4}, {"177", 2},
};
// No customer's mobile begins with these: numbers of new callers.
const char* const kNewMobilePrefixes[] = {"170", "171"};

// --- numbers -------------------------------------------------------------------

std::string localNumber(Rng& r, const City& city)
{
    static const char first8[] = "88888555662237";
    const char lead = city.digits == 8 ? first8[r.below(sizeof first8 - 1)] : char('2' + r.below(7));
    return std::string(1, lead) + r.digits(city.digits - 1);
}

// How a fixed-line number was typed.
enum class Line { Local, Dash, Brackets, Space, Joined, Extension };

std::string typedLine(const City& city, const std::string& local, Line style, Rng& r)
{
    const std::string area = city.area;
    const std::size_t half = local.size() - 4;
    switch (style) {
    case Line::Local: return local;
    case Line::Dash: return area + "-" + local;
    case Line::Brackets: return "(" + area + ") " + local.substr(0, half) + "-" + local.substr(half);
    case Line::Space: return area + " " + local;
    case Line::Joined: return area + local;
    case Line::Extension: return area + "-" + local + "-8" + r.digits(2);
    }
    return local;
}

Line lineStyle(Rng& r, bool officeCity)
{
    // Local, Dash, Brackets, Space, Joined, Extension: within the office's
    // city the area code is often left out, elsewhere seldom.
    static const int office[] = {35, 35, 8, 8, 8, 6};
    static const int other[] = {5, 55, 12, 10, 10, 8};
    const int* weights = officeCity ? office : other;
    int x = int(r.below(100));
    for (int i = 0; i < 6; ++i) {
        if (x < weights[i])
            return Line(i);
        x -= weights[i];
    }
    return Line::Dash;
}

// What the office's box reports for a fixed line: the local number for a
// call from the office's city, the area code and the local number otherwise.
std::string reportedLine(int city, const std::string& local)
{
    return city == kOfficeCity ? local : std::string(cities()[city].area) + local;
}

enum class Mobile { Plain, Dashes, Spaces, PlusDashes, Plus, Zeros };

std::string typedMobile(const std::string& m, Mobile style)
{
    const std::string a = m.substr(0, 3), b = m.substr(3, 4), c = m.substr(7);
    switch (style) {
    case Mobile::Plain: return m;
    case Mobile::Dashes: return a + "-" + b + "-" + c;
    case Mobile::Spaces: return a + " " + b + " " + c;
    case Mobile::PlusDashes: return "+86 " + a + "-" + b + "-" + c;
    case Mobile::Plus: return "+86" + m;
    case Mobile::Zeros: return "0086 " + m;
    }
    return m;
}

Mobile mobileStyle(Rng& r)
{
    const int x = int(r.below(100));
    if (x < 72)
        return Mobile::Plain;
    if (x < 80)
        return Mobile::Dashes;
    if (x < 86)
        return Mobile::Spaces;
    if (x < 94)
        return Mobile::PlusDashes;
    if (x < 98)
        return Mobile::Plus;
    return Mobile::Zeros;
}

std::string lettersOf(Rng& r, int from, int to)
{
    std::string s;
    const int n = from + int(r.below(std::uint64_t(to - from + 1)));
    for (int i = 0; i < n; ++i)
        s += char('a' + r.below(26));
    return s;
}

// --- companies and customers ---------------------------------------------------

struct Company {
    int city = 0;
    int district = 0;
    int street = 0;
    int house = 0;
    std::string suite;  // building and room, or nothing
    std::string name;
    const char* industry = "";
    const char* kind = "";  // 分类1
    std::string switchboard;
    std::string website;
};

int companiesFor(int customers) { return std::max(1, int(qint64(customers) * 10 / 23)); }

int drawCity(Rng& r)
{
    const int x = int(r.below(100));
    if (x < 45)
        return kOfficeCity;
    if (x < 70)
        return 1 + int(r.skewed(kProvinceCities, 1.6));
    return 1 + kProvinceCities + int(r.skewed(cities().size() - 1 - kProvinceCities, 1.4));
}

std::string suiteOf(Rng& r)
{
    const int x = int(r.below(100));
    if (x < 45)
        return {};
    if (x < 75)
        return std::to_string(1 + r.below(20)) + "幢" + std::to_string(1 + r.below(18)) + "0" +
               std::to_string(1 + r.below(9)) + "室";
    return std::string(kBuildings[r.below(std::size(kBuildings))]) + std::to_string(2 + r.below(28)) + "楼";
}

Company company(int c)
{
    Rng r(kCompanyData, std::uint64_t(c));
    Company k;
    k.city = drawCity(r);
    const City& city = cities()[std::size_t(k.city)];
    k.district = int(r.skewed(city.districts.size(), 1.5));
    k.street = int(r.below(std::size(kStreets)));
    k.house = 1 + int(r.skewed(600, 2.0));
    k.suite = suiteOf(r);
    const Industry& ind = r.weighted(kIndustries);
    k.industry = ind.text;
    k.kind = r.chance(0.06) ? "" : r.weighted(kCustomerKinds).text;
    std::string shortCity = city.name;
    shortCity.resize(shortCity.size() - 3);  // without 市
    k.name = (r.chance(0.55) ? shortCity : std::string()) + kBrandFirst[r.below(std::size(kBrandFirst))] +
             kBrandSecond[r.below(std::size(kBrandSecond))] + ind.product + r.weighted(kCompanyKinds).text;
    k.switchboard = localNumber(r, city);
    if (r.chance(0.25))
        k.website = "www." + lettersOf(r, 4, 9) + (r.chance(0.5) ? ".com" : r.chance(0.5) ? ".cn" : ".com.cn");
    return k;
}

std::string addressOf(const Company& k, int street, int house, const std::string& suite)
{
    const City& city = cities()[std::size_t(k.city)];
    return std::string(city.province) + city.name + city.districts[std::size_t(k.district)] + kStreets[street] +
           std::to_string(house) + "号" + suite;
}

std::string zipOf(const Company& k, int street)
{
    const City& city = cities()[std::size_t(k.city)];
    return std::to_string(city.zip + k.district * 10 + street % 8);
}

enum Column { kName, kPhone, kMobile, kHome, kCompanyName, kAddress, kEmail, kQq, kMsn, kWeb,
              kDepartment, kPosition, kKind, kIndustry, kZip, kMatter, kAnswer, kColumns };

const char* const kColumnNames[kColumns] = {"联系人", "电话", "手机", "宅电", "公司名称", "地址", "EMAIL", "QQ", "MSN",
                                            "网址", "部门", "职务", "分类1", "分类2", "邮编", "事项", "答复"};

struct Customer {
    std::array<std::string, kColumns> v;
    // What the box reports for 电话, 手机 and 宅电 ("" when not typed), and
    // how each was typed.
    std::string reported[3];
    int style[3] = {-1, -1, -1};
    int city = 0;
};

Customer customer(qint64 index, int customers)
{
    // Most companies have one to four contacts here; the large customers
    // (one company in fifty) some twenty-five each.
    Rng pick(kCompanyOf, std::uint64_t(index));
    const std::uint64_t companies = std::uint64_t(companiesFor(customers));
    const Company k = company(int(pick.chance(0.2) ? pick.below(companies / 50 + 1) : pick.below(companies)));
    const City& city = cities()[std::size_t(k.city)];
    Rng r(kPersonData, std::uint64_t(index));
    Customer c;
    c.city = k.city;
    auto& v = c.v;
    const Surname& surname = r.weighted(kSurnames);
    v[kName] = surname.text;
    if (r.chance(0.08)) {
        v[kName] += r.weighted(kTitlesOfAddress).text;
    } else {
        v[kName] += kGivenChars[r.below(std::size(kGivenChars))];
        if (r.chance(0.7))
            v[kName] += kGivenChars[r.below(std::size(kGivenChars))];
    }
    v[kCompanyName] = k.name;
    // Most work at the company's address; some elsewhere in its district.
    if (r.chance(0.85)) {
        v[kAddress] = addressOf(k, k.street, k.house, k.suite);
        v[kZip] = zipOf(k, k.street);
    } else {
        const int street = int(r.below(std::size(kStreets)));
        v[kAddress] = addressOf(k, street, 1 + int(r.skewed(600, 2.0)), suiteOf(r));
        v[kZip] = zipOf(k, street);
    }
    if (r.chance(0.04))
        v[kZip].clear();
    v[kDepartment] = r.weighted(kDepartments).text;
    v[kPosition] = r.weighted(kPositions).text;
    // The grade is mostly the company's; some contacts are graded apart.
    v[kKind] = r.chance(0.3) ? r.weighted(kCustomerKinds).text : k.kind;
    v[kIndustry] = r.chance(0.03) ? "" : k.industry;
    v[kWeb] = k.website;

    const bool office = k.city == kOfficeCity;
    if (r.chance(0.70)) {
        const std::string local = r.chance(0.45) ? k.switchboard : localNumber(r, city);
        const Line style = lineStyle(r, office);
        v[kPhone] = typedLine(city, local, style, r);
        c.reported[0] = reportedLine(k.city, local);
        c.style[0] = int(style);
    }
    if (r.chance(0.85)) {
        const std::string m = r.weighted(kMobilePrefixes).text + r.digits(8);
        const Mobile style = mobileStyle(r);
        v[kMobile] = typedMobile(m, style);
        c.reported[1] = m;
        c.style[1] = int(style);
    }
    if (r.chance(0.20)) {
        const std::string local = localNumber(r, city);
        const Line style = lineStyle(r, office);
        v[kHome] = typedLine(city, local, style, r);
        c.reported[2] = reportedLine(k.city, local);
        c.style[2] = int(style);
    }
    if (r.chance(0.45))
        v[kQq] = std::to_string(1 + r.below(9)) + r.digits(4 + int(r.below(6)));
    if (r.chance(0.35)) {
        static const Word domains[] = {{"qq.com", 35}, {"163.com", 30}, {"126.com", 12}, {"sina.com", 8},
                                       {"sohu.com", 4}, {"hotmail.com", 4}, {"139.com", 4}, {"yahoo.com.cn", 3}};
        const Word& d = r.weighted(domains);
        if (!v[kQq].empty() && std::string(d.text) == "qq.com")
            v[kEmail] = v[kQq] + "@qq.com";
        else
            v[kEmail] = std::string(surname.pinyin) + (r.chance(0.5) ? std::to_string(1960 + r.below(40))
                                                                     : lettersOf(r, 2, 5)) + "@" + d.text;
    }
    if (r.chance(0.03))
        v[kMsn] = lettersOf(r, 5, 10) + "@hotmail.com";
    if (r.chance(0.25)) {
        v[kMatter] = kMatters[r.below(std::size(kMatters))];
        if (r.chance(0.6))
            v[kAnswer] = kAnswers[r.below(std::size(kAnswers))];
    }
    return c;
}

// --- the calls ---------------------------------------------------------------------

const QDate kFirstDay(2019, 1, 1);
const QDate kLastDay(2024, 12, 31);

// How busy a day is: weekdays more than weekends, holidays quiet, and the
// business growing over the years.
double dayWeight(const QDate& d, int index, int days)
{
    static const double weekday[] = {0, 1.0, 1.0, 1.0, 1.0, 0.95, 0.35, 0.2};
    double w = weekday[d.dayOfWeek()] * (0.6 + 0.8 * index / std::max(1, days - 1));
    const int m = d.month(), day = d.day();
    if ((m == 1 && day == 1) || (m == 2 && day <= 7) || (m == 5 && day <= 3) || (m == 10 && day <= 7))
        w *= 0.15;
    Rng r(kDayData, std::uint64_t(index));
    return w * (0.8 + 0.4 * r.unit());
}

// Seconds into the day: office hours, a lull at noon, a few in the evening.
int callSecond(Rng& r)
{
    static const int hours[24] = {0, 0, 0, 0, 0, 0, 1, 3, 8, 12, 12, 10, 5, 6, 11, 12, 11, 9, 5, 3, 2, 1, 1, 0};
    int total = 0;
    for (int h : hours)
        total += h;
    int x = int(r.below(std::uint64_t(total)));
    int h = 0;
    while (x >= hours[h])
        x -= hours[h++];
    return h * 3600 + int(r.below(3600));
}

std::string newCallerNumber(Rng& r)
{
    const int x = int(r.below(100));
    if (x < 60)
        return (r.chance(0.2) ? std::string(kNewMobilePrefixes[r.below(2)]) : r.weighted(kMobilePrefixes).text) +
               r.digits(8);
    const int c = x < 90 ? kOfficeCity : drawCity(r);
    return reportedLine(c, localNumber(r, cities()[std::size_t(c)]));
}

// --- building ------------------------------------------------------------------------

QString schemaText()
{
    QFile f(QStringLiteral(TAVRIN_SCHEMA_FILE));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read the schema " TAVRIN_SCHEMA_FILE);
    return QString::fromUtf8(f.readAll());
}

class Db {
public:
    explicit Db(const QString& file)
    {
        if (sqlite3_open(QFile::encodeName(file).constData(), &h_) != SQLITE_OK)
            fail("open");
    }
    ~Db()
    {
        for (sqlite3_stmt* s : statements_)
            sqlite3_finalize(s);
        sqlite3_close(h_);
    }
    void exec(const std::string& sql)
    {
        if (sqlite3_exec(h_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(sql);
    }
    sqlite3_stmt* prepare(const std::string& sql)
    {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK)
            fail(sql);
        statements_.push_back(s);
        return s;
    }
    void step(sqlite3_stmt* s)
    {
        if (sqlite3_step(s) != SQLITE_DONE)
            fail("insert");
        sqlite3_reset(s);
    }
    static void bind(sqlite3_stmt* s, int i, const std::string& text)
    {
        if (text.empty())
            sqlite3_bind_null(s, i);
        else
            sqlite3_bind_text(s, i, text.data(), int(text.size()), SQLITE_TRANSIENT);
    }

private:
    [[noreturn]] void fail(const std::string& what)
    {
        throw std::runtime_error(what + ": " + sqlite3_errmsg(h_));
    }
    sqlite3* h_ = nullptr;
    std::vector<sqlite3_stmt*> statements_;
};

std::string insertStatement(const char* table, const std::vector<const char*>& columns)
{
    std::string names = "ID", marks = "?";
    for (const char* c : columns) {
        names += std::string(", ") + c;
        marks += ", ?";
    }
    return std::string("insert into ") + table + " (" + names + ") values (" + marks + ")";
}

// The test numbers: for every kind, seven, spread over the table.
struct Kind {
    const char* name;
    bool known;
};
const Kind kKinds[] = {
    {"known mobile", true},
    {"known mobile typed +86/dashes", true},
    {"known office line, local call", true},
    {"known office line typed (0571) 8765-4321", true},
    {"known office line typed without area code", true},
    {"known line, long distance", true},
    {"known home number", true},
    {"new mobile", false},
    {"new, long distance", false},
    {"new, local", false},
};
constexpr int kPerKind = 7;

// Which known kind a customer's numbers give, if any (-1).
int knownKind(const Customer& c, int* column)
{
    auto is = [&](int col, int style) { return c.style[col] == style; };
    const bool office = c.city == kOfficeCity;
    struct Try {
        int kind, col;
        bool ok;
    };
    const Try tries[] = {
        {0, 1, is(1, int(Mobile::Plain))},
        {1, 1, c.style[1] > int(Mobile::Plain)},
        {2, 0, office && is(0, int(Line::Dash))},
        {3, 0, office && is(0, int(Line::Brackets))},
        {4, 0, office && is(0, int(Line::Local))},
        {5, 0, !office && c.style[0] >= 0 && !is(0, int(Line::Local))},
        {6, 2, c.style[2] >= 0},
    };
    for (const Try& t : tries)
        if (t.ok) {
            *column = t.col;
            return t.kind;
        }
    return -1;
}

// The part of a reported number the lookup searches for: the number
// without its area code.
std::string searchedPart(const std::string& n)
{
    if (n.empty() || n[0] != '0')
        return n;
    return n.substr(n.size() > 1 && n[1] <= '2' ? 3 : 4);
}

std::string digitsOnly(const std::string& typed)
{
    std::string d;
    for (char ch : typed)
        if (ch >= '0' && ch <= '9')
            d += ch;
    if (typed.rfind("+86", 0) == 0)
        d.erase(0, 2);
    else if (d.rfind("0086", 0) == 0)
        d.erase(0, 4);
    return d;
}

struct Candidate {
    int kind;
    std::string number;
    std::string searched;
    bool taken = false;  // some customer holds it
};

std::vector<Candidate> newCandidates()
{
    std::vector<Candidate> out;
    for (int i = 0; i < 3 * kPerKind; ++i) {
        Rng r(kNewNumbers, std::uint64_t(i));
        for (int kind = 7; kind <= 9; ++kind) {
            std::string n;
            if (kind == 7)
                n = std::string(kNewMobilePrefixes[r.below(2)]) + r.digits(8);
            else if (kind == 8)
                n = reportedLine(1 + kProvinceCities + int(r.below(cities().size() - 1 - kProvinceCities)),
                                 "8" + r.digits(7));
            else
                n = reportedLine(kOfficeCity, "8" + r.digits(7));
            out.push_back({kind, n, searchedPart(n)});
        }
    }
    return out;
}

// A known caller picked for the test numbers.
struct Pick {
    qint64 index;
    std::string reported;
    std::string stored;
};

void writeTestNumbers(const QString& file, const std::vector<std::vector<Pick>>& known,
                      const std::vector<Candidate>& candidates)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the test numbers");
    QTextStream out(&f);
    out.setEncoding(QStringConverter::Utf8);
    for (int kind = 0; kind < int(std::size(kKinds)); ++kind) {
        const QString name = QString::fromUtf8(kKinds[kind].name);
        for (const Pick& p : known[std::size_t(kind)])
            out << name << "\t1\t" << QString::fromStdString(p.reported) << '\t' << p.index + 1 << '\t'
                << QString::fromStdString(p.stored) << '\n';
        int n = 0;
        for (const Candidate& c : candidates)
            if (c.kind == kind && !c.taken && n++ < kPerKind)
                out << name << "\t0\t" << QString::fromStdString(c.number) << "\t0\t\n";
    }
}

void fillDictionary(Db& db)
{
    sqlite3_stmt* s = db.prepare("insert into 字典 (项目, 内容) values (?, ?)");
    auto add = [&](const char* item, const char* value) {
        if (!*value)
            return;
        Db::bind(s, 1, item);
        Db::bind(s, 2, value);
        db.step(s);
    };
    for (const Word& w : kCustomerKinds)
        add("分类1", w.text);
    for (const Industry& i : kIndustries)
        add("分类2", i.text);
    for (const Word& w : kDepartments)
        add("部门", w.text);
    for (const Word& w : kPositions)
        add("职务", w.text);
}

// Tells how far a long build has come (small ones go quietly).
void progress(const char* what, qint64 done, qint64 total, qint64* shown)
{
    if (total < 500000)
        return;
    const qint64 step = std::max<qint64>(1, total / 10);
    if (done / step != *shown) {
        *shown = done / step;
        std::printf("  %s %lld%%\n", what, total ? done * 100 / total : 100);
        std::fflush(stdout);
    }
}

void build(const QString& file, const QString& numbersFile, const Size& size)
{
    QFile::remove(file);
    std::vector<std::vector<Pick>> known(std::size(kKinds));
    std::vector<Candidate> candidates = newCandidates();
    {
        Db db(file);
        db.exec(schemaText().toStdString());
        db.exec("pragma journal_mode = off; pragma synchronous = off; begin");

        std::vector<const char*> cols(std::begin(kColumnNames), std::end(kColumnNames));
        sqlite3_stmt* insert = db.prepare(insertStatement("客户数据", cols));
        // What the box reports for each customer, for the calls below.
        std::vector<std::array<std::string, 3>> reported(std::size_t(size.customers));
        qint64 shown = -1;
        for (qint64 i = 0; i < size.customers; ++i) {
            Customer c = customer(i, size.customers);
            sqlite3_bind_int64(insert, 1, i + 1);
            for (int col = 0; col < kColumns; ++col)
                Db::bind(insert, col + 2, c.v[std::size_t(col)]);
            db.step(insert);
            for (Candidate& cand : candidates)
                for (int col : {kPhone, kMobile, kHome})
                    if (!cand.taken && digitsOnly(c.v[std::size_t(col)]).find(cand.searched) != std::string::npos)
                        cand.taken = true;
            int col = -1;
            const int kind = knownKind(c, &col);
            if (kind >= 0) {
                auto& list = known[std::size_t(kind)];
                // Spread over the table: the k-th of a kind comes from the k-th part.
                if (int(list.size()) < kPerKind && i >= qint64(size.customers) * qint64(list.size()) / kPerKind) {
                    const int stored = col == 0 ? kPhone : col == 1 ? kMobile : kHome;
                    list.push_back({i, c.reported[col], c.v[std::size_t(stored)]});
                }
            }
            for (int k = 0; k < 3; ++k)
                reported[std::size_t(i)][std::size_t(k)] = c.reported[k];
            progress("customers", i + 1, size.customers, &shown);
        }
        fillDictionary(db);

        sqlite3_stmt* call = db.prepare(
            insertStatement("来电数据", {"电话", "手机", "日期", "时间", "联系人", "公司名称", "地址", "事项"}));
        const int days = int(kFirstDay.daysTo(kLastDay)) + 1;
        std::vector<double> weight(static_cast<std::size_t>(days));
        double total = 0;
        for (int d = 0; d < days; ++d)
            total += weight[std::size_t(d)] = dayWeight(kFirstDay.addDays(d), d, days);
        qint64 id = 0;
        double before = 0;
        shown = -1;
        for (int d = 0; d < days && id < size.calls; ++d) {
            const qint64 upTo = d == days - 1 ? size.calls
                                              : std::min(size.calls, qint64((before + weight[std::size_t(d)]) / total *
                                                                            double(size.calls)));
            before += weight[std::size_t(d)];
            const QDate day = kFirstDay.addDays(d);
            const std::string date = std::to_string(day.year()) + "-" + std::to_string(day.month()) + "-" +
                                     std::to_string(day.day());
            std::vector<int> seconds;
            Rng times(kCallTimes, std::uint64_t(d));
            for (qint64 k = id; k < upTo; ++k)
                seconds.push_back(callSecond(times));
            std::sort(seconds.begin(), seconds.end());
            for (int s : seconds) {
                Rng r(kCallData, std::uint64_t(id));
                std::string number;
                if (size.customers > 0 && r.chance(0.65)) {
                    const auto& from = reported[r.skewed(std::size_t(size.customers), 2.0)];
                    static const int prefer[] = {1, 1, 1, 0, 0, 2};
                    for (int t = 0; t < 6 && number.empty(); ++t)
                        number = from[std::size_t(t == 0 ? prefer[r.below(6)] : t % 3)];
                }
                const bool stranger = number.empty();
                if (stranger)
                    number = newCallerNumber(r);
                char time[16];
                std::snprintf(time, sizeof time, "%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
                ++id;
                sqlite3_bind_int64(call, 1, id);
                // The log's rule: a number beginning with 1 is a mobile.
                Db::bind(call, 2, number[0] == '1' ? std::string() : number);
                Db::bind(call, 3, number[0] == '1' ? number : std::string());
                Db::bind(call, 4, date);
                Db::bind(call, 5, time);
                // Now and then the operator filled in a new caller's card.
                if (stranger && r.chance(0.12)) {
                    const Customer w = customer(qint64(r.below(1u << 30)) + size.customers, size.customers + 1);
                    Db::bind(call, 6, w.v[kName]);
                    Db::bind(call, 7, w.v[kCompanyName]);
                    Db::bind(call, 8, w.v[kAddress]);
                    Db::bind(call, 9, w.v[kMatter]);
                } else {
                    for (int k = 6; k <= 9; ++k)
                        sqlite3_bind_null(call, k);
                }
                db.step(call);
                progress("calls", id, size.calls, &shown);
            }
        }
        db.exec("commit");
    }
    writeTestNumbers(numbersFile, known, candidates);
}

// Opens the file once the way the program does: the indexes it makes on a
// first open (on large tables as long work beside the window) are made now
// and waited for, not built inside a benchmark.
void openAsProgram(const QString& file)
{
    QElapsedTimer t;
    t.start();
    auto conn = bareConnection(file, QStringLiteral("benchdb"));
    const bool building = conn->indexBuild() != nullptr;
    if (building) {
        std::printf("  the program builds its indexes in %s ...\n", qPrintable(file));
        std::fflush(stdout);
    }
    conn->waitForIndexBuild();
    QCoreApplication::processEvents();  // the build's end arrives as a signal
    if (!conn->hasNumberIndex())
        std::printf("  NOTE: %s has no complete number index\n", qPrintable(file));
    if (building)
        std::printf("  indexes built in %.0f s\n", t.elapsed() / 1000.0);
    std::fflush(stdout);
    conn->close();
}

// Whether the file has what the program's first opening adds (the number
// index, the call list's indexes, the kept row counts), looked at read-only:
// a file that has it is left as it is.
bool asProgramLeavesIt(const QString& file)
{
    ReadOnlyDatabase ro(file, QStringLiteral("benchdbcheck"));
    QSqlDatabase db = ro.database();
    if (!db.isOpen() || !numberindex::isComplete(db))
        return false;
    for (const QString& table : rowcounts::countedTables())
        if (!rowcounts::isKept(db, table))
            return false;
    const QStringList indexes{tables::calls() + QStringLiteral("_日期"), tables::calls() + QStringLiteral("_手机"),
                              tables::calls() + QStringLiteral("_电话")};
    QSqlQuery q(db);
    q.prepare(QStringLiteral("select count(*) from sqlite_master where type = 'index' and name in (?, ?, ?)"));
    for (const QString& name : indexes)
        q.addBindValue(name);
    return q.exec() && q.next() && q.value(0).toInt() == indexes.size();
}

}  // namespace

ReadOnlyDatabase::ReadOnlyDatabase(const QString& file, const QString& name) : name_(name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    db.setDatabaseName(file);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
        return;
    try {
        numberindex::addDigitsFunction(db);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(file), e.what());
    }
}

ReadOnlyDatabase::~ReadOnlyDatabase()
{
    QSqlDatabase::database(name_, false).close();
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase ReadOnlyDatabase::database() const { return QSqlDatabase::database(name_, false); }

Size sizeFromArguments(QStringList* args)
{
    if (args->removeAll(QStringLiteral("--large")) + args->removeAll(QStringLiteral("big")) > 0)
        return kLargeSize;
    if (args->removeAll(QStringLiteral("--tiny")) + args->removeAll(QStringLiteral("tiny")) > 0)
        return {10, 10};
    args->removeAll(QStringLiteral("small"));
    return kDefaultSize;
}

QString sizeText(const Size& size)
{
    const QLocale c(QLocale::English);
    return c.toString(size.customers) + QStringLiteral(" customers, ") + c.toString(size.calls) +
           QStringLiteral(" calls");
}

namespace {

QString cachedFile(const Size& size)
{
    return QStringLiteral("/tmp/tavrin-bench-g") + QString::number(kGeneratorVersion) + QLatin1Char('-') +
           QString::number(size.customers) + QLatin1Char('-') + QString::number(size.calls) +
           QStringLiteral(".mdb");
}

}  // namespace

QString cachedDatabase(const Size& size)
{
    const QString file = cachedFile(size);
    return QFile::exists(file) ? file : database(size);
}

QString database(const Size& size)
{
    const QString file = cachedFile(size);
    if (!QFile::exists(file)) {
        std::printf("building %s (%s) ...\n", qPrintable(file), qPrintable(sizeText(size)));
        std::fflush(stdout);
        QElapsedTimer t;
        t.start();
        // Beside the final name, renamed when complete: a build that was
        // stopped is never taken for a database.
        const QString part = file + QStringLiteral(".part") + QString::number(::getpid());
        buildDatabase(part, size);
        QFile::remove(file + QStringLiteral(".numbers"));
        QFile::rename(part + QStringLiteral(".numbers"), file + QStringLiteral(".numbers"));
        QFile::remove(file);
        if (!QFile::rename(part, file))
            throw std::runtime_error("cannot rename the benchmark database");
        std::printf("  built in %.0f s, %.0f MB\n", t.elapsed() / 1000.0, QFileInfo(file).size() / 1048576.0);
        std::fflush(stdout);
    } else if (!asProgramLeavesIt(file)) {
        // Brought up to date once; every later run only reads it.
        std::printf("  %s lacks what the program adds on opening: added now, once\n", qPrintable(file));
        openAsProgram(file);
    }
    return file;
}

void buildDatabase(const QString& file, const Size& size)
{
    build(file, file + QStringLiteral(".numbers"), size);
    openAsProgram(file);
}

void createEmptyDatabase(const QString& file)
{
    QFile::remove(file);
    Db db(file);
    db.exec(schemaText().toStdString());
}

QStringList customerFields()
{
    QStringList out;
    for (const char* c : kColumnNames)
        out << QString::fromUtf8(c);
    return out;
}

QStringList treeFields()
{
    return {QStringLiteral("分类1"), QStringLiteral("分类2"), QStringLiteral("公司名称"), QStringLiteral("联系人")};
}

QStringList customerRow(qint64 index, int customers)
{
    const Customer c = customer(index, customers);
    QStringList out;
    for (const std::string& v : c.v)
        out << QString::fromStdString(v);
    return out;
}

QVector<TestNumber> testNumbers(const QString& databaseFile)
{
    QVector<TestNumber> out;
    QFile f(databaseFile + QStringLiteral(".numbers"));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QStringList p = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (p.size() < 5)
            continue;
        out.append({p[0], p[1] == QLatin1String("1"), p[2], p[3].toLongLong(), p[4]});
    }
    return out;
}

QString digitsOf(const QString& stored) { return QString::fromStdString(digitsOnly(stored.toStdString())); }

std::unique_ptr<Connection> bareConnection(const QString& file, const QString& name)
{
    auto conn = std::make_unique<Connection>(name);
    conn->setLocation(DatabaseLocation::ofFile(file));
    conn->open();
    return conn;
}

qint64 readToEnd(QSqlQuery& q)
{
    qint64 rows = 0;
    const int n = q.record().count();
    while (q.next()) {
        for (int i = 0; i < n; ++i)
            q.value(i);
        ++rows;
    }
    return rows;
}

}  // namespace bench
